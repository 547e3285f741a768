#include "mailbridge/wiring/OutboxFactory.h"

#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "mailbridge/wiring/TokenSources.h"

#include <QDir>

namespace {

std::unique_ptr<Outbox> createSendmailOutbox(const MailAccount &account)
{
    return std::make_unique<SendmailOutbox>(account.sendmailCommand.isEmpty()
                                                ? SendmailOutbox::defaultCommand()
                                                : account.sendmailCommand);
}

} // namespace

std::unique_ptr<Outbox> createOutbox(const SettingsStore &store,
                                              std::optional<QString> imapPassword,
                                              std::shared_ptr<PasswordStore> keyring,
                                              FirstToken firstToken,
                                              const std::function<bool()> &cancelled)
{
    const MailAccount account = readMailAccount(store);
    if (account.kind == MailAccountKind::Maildir)
        return std::make_unique<MaildirOutbox>(defaultOutboxFolder(store));
    checkMailAccount(account);
    if (account.kind == MailAccountKind::Sendmail)
        return createSendmailOutbox(account);
    if (account.kind == MailAccountKind::Smtp) {
        if (account.smtpAuth != ImapAuth::OAuth2)
            return std::make_unique<SmtpOutbox>(smtpEndpoint(account), std::move(imapPassword));
        if (!keyring && account.tokenCommand.isEmpty())
            throw Failure(signInAgainText());
        std::shared_ptr<AccessTokenSource> tokens =
            createAccessTokenSource(account, std::move(keyring));
        if (firstToken == FirstToken::Now)
            tokens->accessToken(false);
        return std::make_unique<SmtpOutbox>(smtpEndpoint(account), std::move(tokens));
    }
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
