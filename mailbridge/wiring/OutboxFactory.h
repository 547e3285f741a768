#pragma once

#include "mailbridge/Outbox.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class PasswordStore;
struct MailAccount;
class SettingsStore;

// When an OAuth 2.0 account gets its first access token.
enum class FirstToken
{
    // Here, so that a sign-in that no longer holds stops a script before it starts.
    Now,
    // When the Send logs in, on the Send's thread: a window must open, and stay usable,
    // however the sign-in or the network stand, or nobody could reach the place to sign in.
    AtLogin,
};

// The outbox that section [MailClient] of the settings names: the Maildir folder, or the
// IMAP account's drafts folder, which gets imapPassword (see resolvePassword), or for an
// OAuth 2.0 account its tokens from TokenCommand or the sign-in kept in keyring. Either way
// a sign-in that no longer holds stops the Send before anything is filed. Throws Failure for
// settings it cannot use, a Maildir folder it cannot make, or (FirstToken::Now) a token it
// cannot get; cancelled stops the wait for that token (SendCancelled).
std::unique_ptr<Outbox> createOutbox(const SettingsStore &store,
                                     std::optional<QString> imapPassword = std::nullopt,
                                     std::shared_ptr<PasswordStore> keyring = nullptr,
                                     FirstToken firstToken = FirstToken::Now,
                                     const std::function<bool()> &cancelled = {});

// Whether messages sent through the account's submission server get a copy in its IMAP Sent
// folder: SaveSentCopy says so, or (auto) the provider's server does not keep one itself.
bool keepsSentCopies(const MailAccount &account);
// Whether drafts sent after review go into the Sent folder, on the same rule.
bool keepsReviewedDraftsInSent(const MailAccount &account);

class AccessTokenSource;
class SmtpOutbox;
// The account's submission server, with the password or the account's sign-in (whose source
// tokensUsed receives, when given). Throws Failure as createOutbox does.
std::unique_ptr<SmtpOutbox>
createSubmission(const MailAccount &account, const std::optional<QString> &password,
                 const std::shared_ptr<PasswordStore> &keyring, FirstToken firstToken,
                 std::shared_ptr<AccessTokenSource> *tokensUsed = nullptr);

// The same outbox, only to size messages with (Outbox::storedSize): it creates no
// folder and asks for no password. Throws Failure for settings it cannot use.
std::unique_ptr<Outbox> createSizingOutbox(const SettingsStore &store);
