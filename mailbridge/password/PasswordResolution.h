#pragma once

#include "common/Failure.h"

#include <QString>

#include <functional>
#include <optional>

struct MailAccount;
class PasswordStore;

// The account's password from the keyring, else from its PasswordCommand; nothing when
// neither has one. The one way a Send, a Test and the command line find it. It may wait on
// the keyring and the command: call it on a worker or from the command line, never on the
// window's thread. Throws the PasswordCommand's Failure when the command is set but fails;
// once cancelled says true, stops the command and throws SendCancelled.
std::optional<QString> resolvePassword(const MailAccount &account, PasswordStore &keyring,
                                       const std::function<bool()> &cancelled = {});

// A Send found no password in the keyring nor from a PasswordCommand: a window asks the
// person and sends again.
class PasswordWanted : public Failure
{
public:
    explicit PasswordWanted(const QString &destination);
};
