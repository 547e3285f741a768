#pragma once

#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/Outbox.h"
#include "mailbridge/imap/ImapEndpoint.h"

#include <memory>

struct MailAccount;
class PasswordStore;

// Where an OAuth 2.0 account's tokens come from: its TokenCommand when set, else the sign-in
// kept in the keyring. Never a browser: that is the Mail account window's. Throws Failure for
// a provider without a client ID.
std::shared_ptr<AccessTokenSource> createAccessTokenSource(const MailAccount &account,
                                                           std::shared_ptr<PasswordStore> keyring);

// The IMAP outbox that logs in with the source's tokens.
std::unique_ptr<Outbox> createOAuthImapOutbox(ImapEndpoint endpoint,
                                              std::shared_ptr<AccessTokenSource> source);
