#include "mailbridge/wiring/ReviewedSendAccount.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/ImapDraftsFolder.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/review/FiledDraftsFile.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "mailbridge/wiring/TokenSources.h"

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

ReviewedSendAccount createReviewedSend(const SettingsStore &store, std::optional<QString> password,
                                       std::shared_ptr<PasswordStore> keyring,
                                       FirstToken firstToken,
                                       const std::function<bool()> &cancelled)
{
    const MailAccount account = readMailAccount(store);
    if (!offersReviewedSend(account))
        throw Failure(QStringLiteral("Sending reviewed drafts needs an IMAP account with a "
                                     "submission server: set Kind=imap and SmtpHost in the "
                                     "[MailClient] section of ~/.config/Ferrymail/"
                                     "Ferrymail.conf, or use the Mail account window."));
    checkMailAccount(account);
    ReviewedSendAccount reviewed;
    std::shared_ptr<AccessTokenSource> smtpTokens;
    reviewed.submission = createSubmission(account, password, keyring, firstToken, &smtpTokens);
    // The drafts folder logs in as the outbox that filed the drafts: with the same password,
    // or with the sign-in the submission already uses.
    if (account.imapAuth == ImapAuth::OAuth2) {
        std::shared_ptr<AccessTokenSource> tokens = smtpTokens;
        if (!tokens) {
            if (!keyring && account.tokenCommand.isEmpty())
                throw Failure(signInAgainText());
            tokens = createAccessTokenSource(account, keyring);
            if (firstToken == FirstToken::Now) {
                tokens->setCancelCheck(cancelled);
                tokens->accessToken(false);
                tokens->setCancelCheck({});
            }
        }
        reviewed.folder =
            std::make_unique<ImapDraftsFolder>(imapEndpoint(account), std::move(tokens));
    } else {
        reviewed.folder = std::make_unique<ImapDraftsFolder>(imapEndpoint(account), password);
    }
    reviewed.filed = filedDraftsOnThisMachine();
    reviewed.account = filedDraftsAccountKey(account);
    reviewed.keepCopies = keepsReviewedDraftsInSent(account);
    return reviewed;
}
