#include "mailbridge/password/PasswordResolution.h"

#include "mailbridge/MailAccount.h"
#include "mailbridge/password/PasswordCommand.h"
#include "mailbridge/password/PasswordStore.h"

std::optional<QString> resolvePassword(const MailAccount &account, PasswordStore &keyring,
                                       const std::function<bool()> &cancelled)
{
    if (auto stored = keyring.read(passwordKey(account)))
        return stored;
    if (!account.passwordCommand.isEmpty())
        return runPasswordCommand(account.passwordCommand, std::chrono::seconds(30), cancelled);
    return std::nullopt;
}

PasswordWanted::PasswordWanted(const QString &destination)
    : Failure(QStringLiteral("There is no password for %1: none is in the keyring and no "
                             "PasswordCommand is set.")
                  .arg(destination))
{
}
