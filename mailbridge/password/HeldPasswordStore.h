#pragma once

#include "mailbridge/password/PasswordStore.h"

#include <QMap>

#include <mutex>

// Passwords held in memory: a copy of keyring entries for work on a thread that must not
// outlive, or wait for, the keyring's owner. What the work wrote is taken back by the owner.
class HeldPasswordStore : public PasswordStore
{
public:
    HeldPasswordStore(const QString &key, const std::optional<QString> &password);

    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &password) override;
    void remove(const QString &key) override;

    // The entries written since the copy was made.
    QMap<QString, QString> written() const;

private:
    mutable std::mutex m_mutex;
    QMap<QString, QString> m_passwords;
    QMap<QString, QString> m_written;
};
