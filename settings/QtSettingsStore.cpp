#include "settings/QtSettingsStore.h"

#include "common/Failure.h"

QtSettingsStore::QtSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ferrymail"),
                 QStringLiteral("Ferrymail"))
{
}

QString QtSettingsStore::read(const QString &section, const QString &key,
                              const QString &defaultValue) const
{
    return m_settings.value(section + QLatin1Char('/') + key, defaultValue).toString();
}

void QtSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    m_settings.setValue(section + QLatin1Char('/') + key, value);
    // Written through at once so that a failure reaches the person who made the change.
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        throw Failure(
            QStringLiteral("Could not save the setting %1 to %2.").arg(key, m_settings.fileName()));
}
