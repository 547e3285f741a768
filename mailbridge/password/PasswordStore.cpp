#include "mailbridge/password/PasswordStore.h"

#include "common/Failure.h"

#include <QObject>

void PasswordStore::lookUpLater(const QString &key, QObject *context,
                                std::function<void(const PasswordLookup &)> done)
{
    QMetaObject::invokeMethod(
        context, [this, key, done = std::move(done)] { done(lookUp(key)); }, Qt::QueuedConnection);
}

void PasswordStore::writeLater(const QString &key, const QString &password, QObject *context,
                               std::function<void(const QString &failure)> done)
{
    QMetaObject::invokeMethod(
        context,
        [this, key, password, done = std::move(done)] {
            try {
                write(key, password);
                done(QString());
            } catch (const Failure &failure) {
                done(failure.description());
            }
        },
        Qt::QueuedConnection);
}
