#pragma once

#include "settings/SettingsStore.h"

#include <QSettings>

// The platform's native per-user store, under organization and application "Ferrymail"
// (on Linux $XDG_CONFIG_HOME/Ferrymail/Ferrymail.conf).
class QtSettingsStore : public SettingsStore
{
public:
    QtSettingsStore();

    QString read(const QString &section, const QString &key,
                 const QString &defaultValue = QString()) const override;
    void write(const QString &section, const QString &key, const QString &value) override;

private:
    mutable QSettings m_settings;
};
