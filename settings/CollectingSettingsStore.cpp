#include "settings/CollectingSettingsStore.h"

#include "common/Failure.h"

QString CollectingSettingsStore::read(const QString &section, const QString &key,
                                      const QString &defaultValue) const
{
    return m_store.read(section, key, defaultValue);
}

void CollectingSettingsStore::write(const QString &section, const QString &key,
                                    const QString &value)
{
    try {
        m_store.write(section, key, value);
        ++m_saved;
    } catch (const Failure &failure) {
        if (m_failedKeys.isEmpty())
            m_firstFailure = failure.description();
        m_failedKeys << key;
    }
}

void CollectingSettingsStore::throwIfAnyFailed() const
{
    if (m_failedKeys.isEmpty())
        return;
    QString description = m_firstFailure;
    if (m_failedKeys.size() > 1)
        description += QStringLiteral("\nNot saved either: %1.")
                           .arg(m_failedKeys.mid(1).join(QLatin1String(", ")));
    if (m_saved > 0)
        description += QStringLiteral("\nThe other %1 settings were saved.").arg(m_saved);
    throw Failure(description);
}
