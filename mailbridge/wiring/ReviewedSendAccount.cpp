#include "mailbridge/wiring/ReviewedSendAccount.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/review/FiledDraftsFile.h"

bool offersReviewedSend(const MailAccount &account)
{
    return account.kind == MailAccountKind::Imap && !account.smtpHost.isEmpty();
}

QString filedDraftsAccountKey(const MailAccount &account)
{
    return describeAccount(imapEndpoint(account));
}

std::unique_ptr<FiledDrafts> filedDraftsOnThisMachine()
{
    return std::make_unique<FiledDraftsFile>(stateFolder() + QStringLiteral("/filed-drafts.json"));
}

// Stands until the IMAP drafts folder lands on this branch.
ReviewedSendAccount createReviewedSend(const SettingsStore &, std::optional<QString>,
                                       std::shared_ptr<PasswordStore>, FirstToken,
                                       const std::function<bool()> &)
{
    throw Failure(QStringLiteral("Sending the reviewed drafts is not built yet."));
}
