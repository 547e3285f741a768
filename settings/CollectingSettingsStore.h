#pragma once

#include "settings/SettingsStore.h"

#include <QStringList>

// Passes reads and writes on to another store, going on past a write that fails, so that one
// key that cannot be saved does not lose the others.
class CollectingSettingsStore : public SettingsStore
{
public:
    explicit CollectingSettingsStore(SettingsStore &store) : m_store(store) {}

    QString read(const QString &section, const QString &key,
                 const QString &defaultValue = QString()) const override;
    // Never throws a Failure: it is kept for throwIfAnyFailed.
    void write(const QString &section, const QString &key, const QString &value) override;

    // Throws one Failure with the first failure's description, every other key that was not
    // saved, and how many were; nothing when every write worked.
    void throwIfAnyFailed() const;

private:
    SettingsStore &m_store;
    QString m_firstFailure;
    QStringList m_failedKeys;
    int m_saved = 0;
};
