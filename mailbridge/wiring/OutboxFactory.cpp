#include "mailbridge/wiring/OutboxFactory.h"

#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "mailbridge/wiring/ImapSentCopies.h"
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
    std::unique_ptr<SmtpOutbox> outbox;
    if (account.smtpAuth != ImapAuth::OAuth2) {
        outbox = std::make_unique<SmtpOutbox>(smtpEndpoint(account), password);
    } else {
        if (!keyring && account.tokenCommand.isEmpty())
            throw Failure(signInAgainText());
        tokens = createAccessTokenSource(account, keyring);
        if (firstToken == FirstToken::Now)
            tokens->accessToken(false);
        outbox = std::make_unique<SmtpOutbox>(smtpEndpoint(account), tokens);
    }
    if (keepsSentCopies(account))
        outbox->setSentCopies(createSentCopies(account, password, tokens, keyring));
    return outbox;
}

} // namespace

bool keepsSentCopies(const MailAccount &account)
{
    if (account.kind != MailAccountKind::Smtp || !hasImapSettings(account))
        return false;
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
        return createOAuthImapOutbox(imapEndpoint(account), std::move(tokens));
    }
    return std::make_unique<ImapOutbox>(imapEndpoint(account), std::move(imapPassword));
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
