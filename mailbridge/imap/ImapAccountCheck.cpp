#include "mailbridge/imap/ImapAccountCheck.h"

#include "common/CancelToken.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/MailboxName.h"

namespace {

ImapAccountCheck checkWith(const ImapEndpoint &endpoint, ImapCredentials credentials,
                           const CancelToken &cancel)
{
    ImapSession session(endpoint, std::move(credentials));
    session.setCancelCheck([&cancel] { return cancel.cancelled(); });
    ImapAccountCheck check;
    check.folder = decodeMailboxName(session.folder());
    check.folderChoice = session.howFolderWasChosen();
    check.appendLimit = session.appendLimit();
    check.greeting = QString::fromUtf8(session.greeting());
    check.capabilities = QString::fromUtf8(session.capabilities().join(' '));
    return check;
}

} // namespace

ImapAccountCheck checkImapAccount(const ImapEndpoint &endpoint, const QString &password,
                                  const CancelToken &cancel)
{
    return checkWith(endpoint, ImapCredentials{password, nullptr}, cancel);
}

ImapAccountCheck checkImapAccount(const ImapEndpoint &endpoint,
                                  std::shared_ptr<AccessTokenSource> tokens,
                                  const CancelToken &cancel)
{
    return checkWith(endpoint, ImapCredentials{QString(), std::move(tokens)}, cancel);
}

QString ImapAccountCheck::summary() const
{
    QString text = QStringLiteral("The server greeted: %1\nDrafts go into \"%2\" (%3).\n")
                       .arg(greeting, folder, folderChoice);
    text += appendLimit ? QStringLiteral("It takes messages of up to %1 bytes.\n").arg(*appendLimit)
                        : QStringLiteral("It announces no size limit for messages.\n");
    return text + QStringLiteral("Capabilities: %1").arg(capabilities);
}
