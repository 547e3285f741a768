#include "mailbridge/OutboxFactory.h"

#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/maildir/MaildirOutbox.h"

#include <QDir>

std::unique_ptr<MailApplication> createOutbox(const SettingsStore &store,
                                              std::optional<QString> imapPassword)
{
    const MailAccount account = readMailAccount(store);
    if (account.kind == MailAccountKind::Maildir)
        return std::make_unique<MaildirOutbox>(defaultOutboxFolder(store));
    checkMailAccount(account);
    return std::make_unique<ImapOutbox>(imapEndpoint(account), std::move(imapPassword));
}

QString outboxDestination(const SettingsStore &store)
{
    try {
        const MailAccount account = readMailAccount(store);
        if (account.kind == MailAccountKind::Maildir)
            return QStringLiteral("Into the Maildir outbox %1")
                .arg(withHomeAsTilde(defaultOutboxFolder(store)));
        checkMailAccount(account);
        const QString where = describeAccount(imapEndpoint(account));
        if (account.imapFolder.isEmpty())
            return QStringLiteral("Into the Drafts folder of %1").arg(where);
        return QStringLiteral("Into the folder \"%1\" of %2").arg(account.imapFolder, where);
    } catch (const Failure &failure) {
        return QStringLiteral("Nowhere yet: %1").arg(failure.description());
    }
}

QString withHomeAsTilde(const QString &path)
{
    const QString home = QDir::homePath();
    if (home.isEmpty() || home == QLatin1String("/"))
        return path;
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}
