#pragma once

#include "mailbridge/password/PasswordStore.h"

#include <QMap>
#include <QStringList>

// A keyring in memory, for tests of where passwords are read from and kept.
class MemoryPasswordStore : public PasswordStore
{
public:
    std::optional<QString> read(const QString &key) override
    {
        reads << key;
        return passwords.contains(key) ? std::optional(passwords.value(key)) : std::nullopt;
    }
    void write(const QString &key, const QString &password) override { passwords[key] = password; }
    void remove(const QString &key) override { passwords.remove(key); }

    QMap<QString, QString> passwords;
    QStringList reads; // every key asked for, in order
};
