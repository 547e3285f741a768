#pragma once

#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/FiledDrafts.h"
#include "mailbridge/review/MessageSubmission.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class PasswordStore;
class SettingsStore;
struct MailAccount;

// Section [MailClient] as it is now, for a worker to read: the window's own store is read on
// the window's thread only.
std::shared_ptr<const SettingsStore> mailAccountSnapshot(const SettingsStore &store);

// Whether the account logs in with a password to list its drafts or to send them.
bool reviewedSendNeedsPassword(const MailAccount &account);
// What the password opens, after "into": "the Drafts folder of me@example.org".
QString reviewedSendPasswordFor(const MailAccount &account);

// Review-then-send's parts from the settings, on a worker: the typed password, else the
// keyring's or PasswordCommand's when the account needs one, else PasswordWanted.
ReviewedSendAccount createReviewedSendParts(const SettingsStore &store,
                                            const std::optional<QString> &typedPassword,
                                            const std::shared_ptr<PasswordStore> &keyring,
                                            const std::function<bool()> &cancelled);
