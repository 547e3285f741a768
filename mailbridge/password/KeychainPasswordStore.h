#pragma once

#include "mailbridge/password/PasswordStore.h"

#include <chrono>

// The desktop's keyring (Secret Service or KWallet, through QtKeychain). QtKeychain runs its
// jobs on the thread that first used it and cannot be driven from another, so every call is
// carried out on the application's thread: there directly, in a local event loop; from any
// other thread (a Send's) handed over and waited for, up to the timeout. Without a keyring,
// read answers "no password".
class KeychainPasswordStore : public PasswordStore
{
public:
    explicit KeychainPasswordStore(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &password) override;
    void remove(const QString &key) override;

private:
    std::chrono::milliseconds m_timeout;
};
