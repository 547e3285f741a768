#pragma once

#include <QString>

#include <functional>
#include <optional>

class QObject;

// What a store said about one key.
struct PasswordLookup
{
    std::optional<QString> password;
    // Why no store could be asked (no keyring on this session, say); empty when it answered.
    QString unreachable;
};

// Where passwords are kept apart from the settings file, addressed by an account key. The
// plain calls may wait: a window's thread uses the Later forms, which never do.
class PasswordStore
{
public:
    virtual ~PasswordStore() = default;

    // The password, or nothing when none is stored or no store can be reached.
    virtual std::optional<QString> read(const QString &key) = 0;
    // Throw Failure naming the account and the store's reason.
    virtual void write(const QString &key, const QString &password) = 0;
    virtual void remove(const QString &key) = 0;
    // read, telling "nothing stored" from "no store reachable".
    virtual PasswordLookup lookUp(const QString &key) { return {read(key), {}}; }

    // done gets the answer on context's thread, from its event loop, never from within the
    // call; not at all once context is gone. These run the plain calls there; a store that
    // may wait does the work elsewhere.
    virtual void lookUpLater(const QString &key, QObject *context,
                             std::function<void(const PasswordLookup &)> done);
    // done gets the failure's description, empty when the password was kept.
    virtual void writeLater(const QString &key, const QString &password, QObject *context,
                            std::function<void(const QString &failure)> done);
};
