#pragma once

#include "mailbridge/password/PasswordStore.h"

#include <chrono>

// The desktop's keyring (Secret Service or KWallet, through QtKeychain). QtKeychain must be
// driven from one thread with an event loop; that is a thread of the keyring's own, never
// the window's, so a Send that keeps a token while the window waits for that Send cannot
// hold either. The plain calls wait for that thread (up to the timeout) and are for
// workers and the command line; the window uses the Later forms. Without a keyring, read
// answers "no password" and lookUp says why.
class KeychainPasswordStore : public PasswordStore
{
public:
    explicit KeychainPasswordStore(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &password) override;
    void remove(const QString &key) override;
    PasswordLookup lookUp(const QString &key) override;

    void lookUpLater(const QString &key, QObject *context,
                     std::function<void(const PasswordLookup &)> done) override;
    void writeLater(const QString &key, const QString &password, QObject *context,
                    std::function<void(const QString &failure)> done) override;

private:
    std::chrono::milliseconds m_timeout;
};
