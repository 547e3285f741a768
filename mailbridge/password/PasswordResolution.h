#pragma once

#include <QString>

#include <functional>
#include <optional>

struct MailAccount;
class PasswordStore;

// The account's password from the keyring, else from its PasswordCommand; nothing when
// neither has one, and the window then asks the person. Throws the PasswordCommand's Failure
// when the command is set but fails. Call it on the window's thread before the Send starts.
// cancelled stops a PasswordCommand that waits (SendCancelled).
std::optional<QString> resolvePassword(const MailAccount &account, PasswordStore &keyring,
                                       const std::function<bool()> &cancelled = {});
