#pragma once

#include <QString>

#include <optional>

// Where passwords are kept apart from the settings file, addressed by an account key.
class PasswordStore
{
public:
    virtual ~PasswordStore() = default;

    // The password, or nothing when none is stored or no store can be reached.
    virtual std::optional<QString> read(const QString &key) = 0;
    // Throw Failure naming the account and the store's reason.
    virtual void write(const QString &key, const QString &password) = 0;
    virtual void remove(const QString &key) = 0;
};
