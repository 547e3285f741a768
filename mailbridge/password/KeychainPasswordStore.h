#pragma once

#include "mailbridge/password/PasswordStore.h"

#include <chrono>

// The desktop's keyring (Secret Service or KWallet, through QtKeychain). Each call waits for
// its job in a local event loop, so it must run on a thread that has a QCoreApplication's
// event dispatcher (the window's thread); without a keyring, read answers "no password".
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
