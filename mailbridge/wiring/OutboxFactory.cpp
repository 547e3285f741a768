#include "mailbridge/wiring/OutboxFactory.h"

#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/compose/ManifestText.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/review/FiledDrafts.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "mailbridge/wiring/ImapSentCopies.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"
#include "mailbridge/wiring/TokenSources.h"

#include <QDir>

namespace {

std::unique_ptr<Outbox> createSendmailOutbox(const MailAccount &account)
{
    return std::make_unique<SendmailOutbox>(account.sendmailCommand.isEmpty()
                                                ? SendmailOutbox::defaultCommand()
                                                : account.sendmailCommand);
}

// The copies log in as the IMAP outbox would, with the same password or sign-in; a sign-in
// the submission already uses serves both.
std::unique_ptr<SentCopies> createSentCopies(const MailAccount &account,
                                             const std::optional<QString> &password,
                                             std::shared_ptr<AccessTokenSource> smtpTokens,
                                             const std::shared_ptr<PasswordStore> &keyring)
{
    if (account.imapAuth != ImapAuth::OAuth2)
        return std::make_unique<ImapSentCopies>(imapEndpoint(account), password);
    std::shared_ptr<AccessTokenSource> tokens = std::move(smtpTokens);
    if (!tokens) {
        if (!keyring && account.tokenCommand.isEmpty())
            throw Failure(signInAgainText());
        tokens = createAccessTokenSource(account, keyring);
    }
    return std::make_unique<ImapSentCopies>(imapEndpoint(account), std::move(tokens));
}

std::unique_ptr<Outbox> createSmtpOutbox(const MailAccount &account,
                                         std::optional<QString> password,
                                         std::shared_ptr<PasswordStore> keyring,
                                         FirstToken firstToken)
{
    std::shared_ptr<AccessTokenSource> tokens;
    std::unique_ptr<SmtpOutbox> outbox =
        createSubmission(account, password, keyring, firstToken, &tokens);
    if (keepsSentCopies(account))
        outbox->setSentCopies(createSentCopies(account, password, tokens, keyring));
    return outbox;
}

// SaveSentCopy, or (auto) whether the provider's server keeps no copy itself.
bool wantsSentCopies(const MailAccount &account)
{
    switch (account.saveSentCopy) {
    case SaveSentCopy::Yes:
        return true;
    case SaveSentCopy::No:
        return false;
    case SaveSentCopy::Auto:
        break;
    }
    return !submissionFilesSentMail(account.smtpHost);
}

// Each draft filed is remembered on this machine, so that review-then-send finds it even
// after the person edited it.
std::unique_ptr<Outbox> recordingFiledDrafts(std::unique_ptr<ImapOutbox> outbox,
                                             const MailAccount &account)
{
    outbox->setFiledListener([key = filedDraftsAccountKey(account)](const MessageContent &content) {
        FiledDraft draft;
        draft.messageId = content.stamp.messageId;
        draft.subject = content.subject;
        for (const Attachment &attachment : content.attachments)
            draft.attachmentNames << attachment.fileName;
        // The list of checksums is a part with a name too, and the folder lists it.
        if (content.manifest)
            draft.attachmentNames << checksumFileName(*content.manifest);
        draft.filed = content.stamp.date;
        try {
            filedDraftsOnThisMachine()->add(key, draft);
        } catch (const Failure &failure) {
            // The draft is filed all the same; only review-then-send will not know it.
            qWarning("%s", qPrintable(failure.description()));
        }
    });
    return outbox;
}

} // namespace

std::unique_ptr<SmtpOutbox> createSubmission(const MailAccount &account,
                                             const std::optional<QString> &password,
                                             const std::shared_ptr<PasswordStore> &keyring,
                                             FirstToken firstToken,
                                             std::shared_ptr<AccessTokenSource> *tokensUsed)
{
    if (account.smtpAuth != ImapAuth::OAuth2)
        return std::make_unique<SmtpOutbox>(smtpEndpoint(account), password);
    if (!keyring && account.tokenCommand.isEmpty())
        throw Failure(signInAgainText());
    std::shared_ptr<AccessTokenSource> tokens = createAccessTokenSource(account, keyring);
    if (firstToken == FirstToken::Now)
        tokens->accessToken(false);
    if (tokensUsed)
        *tokensUsed = tokens;
    return std::make_unique<SmtpOutbox>(smtpEndpoint(account), std::move(tokens));
}

bool keepsSentCopies(const MailAccount &account)
{
    return account.kind == MailAccountKind::Smtp && hasImapSettings(account) &&
           wantsSentCopies(account);
}

bool keepsReviewedDraftsInSent(const MailAccount &account)
{
    return wantsSentCopies(account);
}

std::unique_ptr<Outbox> createOutbox(const SettingsStore &store,
                                     std::optional<QString> imapPassword,
                                     std::shared_ptr<PasswordStore> keyring, FirstToken firstToken,
                                     const std::function<bool()> &cancelled)
{
    const MailAccount account = readMailAccount(store);
    if (account.kind == MailAccountKind::Maildir)
        return std::make_unique<MaildirOutbox>(defaultOutboxFolder(store));
    checkMailAccount(account);
    if (account.kind == MailAccountKind::Sendmail)
        return createSendmailOutbox(account);
    if (account.kind == MailAccountKind::Smtp)
        return createSmtpOutbox(account, std::move(imapPassword), std::move(keyring), firstToken);
    if (account.imapAuth == ImapAuth::OAuth2) {
        if (!keyring && account.tokenCommand.isEmpty())
            throw Failure(signInAgainText());
        std::shared_ptr<AccessTokenSource> tokens =
            createAccessTokenSource(account, std::move(keyring));
        if (firstToken == FirstToken::Now) {
            tokens->setCancelCheck(cancelled);
            tokens->accessToken(false);
            tokens->setCancelCheck({});
        }
        return recordingFiledDrafts(
            std::make_unique<ImapOutbox>(imapEndpoint(account), std::move(tokens)), account);
    }
    return recordingFiledDrafts(
        std::make_unique<ImapOutbox>(imapEndpoint(account), std::move(imapPassword)), account);
}

std::unique_ptr<Outbox> createSizingOutbox(const SettingsStore &store)
{
    const MailAccount account = readMailAccount(store);
    if (account.kind == MailAccountKind::Maildir)
        return MaildirOutbox::forSizing(defaultOutboxFolder(store));
    checkMailAccount(account);
    if (account.kind == MailAccountKind::Sendmail)
        return createSendmailOutbox(account);
    if (account.kind == MailAccountKind::Smtp)
        return std::make_unique<SmtpOutbox>(smtpEndpoint(account), std::nullopt);
    return std::make_unique<ImapOutbox>(imapEndpoint(account), std::nullopt);
}
