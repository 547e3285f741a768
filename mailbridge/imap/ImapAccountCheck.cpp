#include "mailbridge/imap/ImapAccountCheck.h"

#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/MailboxName.h"

ImapAccountCheck checkImapAccount(const ImapEndpoint &endpoint, const QString &password,
                                  const CancelToken & /*cancel*/)
{
    ImapSession session(endpoint, password);
    ImapAccountCheck check;
    check.folder = decodeMailboxName(session.draftsFolder());
    check.folderChoice = session.howFolderWasChosen();
    check.appendLimit = session.appendLimit();
    check.greeting = QString::fromUtf8(session.greeting());
    check.capabilities = QString::fromUtf8(session.capabilities().join(' '));
    return check;
}

QString ImapAccountCheck::summary() const
{
    QString text = QStringLiteral("The server greeted: %1\nDrafts go into \"%2\" (%3).\n")
                       .arg(greeting, folder, folderChoice);
    text += appendLimit ? QStringLiteral("It takes messages of up to %1 bytes.\n").arg(*appendLimit)
                        : QStringLiteral("It announces no size limit for messages.\n");
    return text + QStringLiteral("Capabilities: %1").arg(capabilities);
}
