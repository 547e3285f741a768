#pragma once

#include "settings/SettingsStore.h"

#include <QSettings>

// The platform's native per-user store, under organization and application "Ferrymail"
// (on Linux $XDG_CONFIG_HOME/Ferrymail/Ferrymail.conf). A file that cannot be read as
// settings counts as empty: every key then reads as its default until it is written.
class QtSettingsStore : public SettingsStore
{
public:
    QtSettingsStore();

    // The file the store keeps the settings in.
    static QString filePath();

    QString read(const QString &section, const QString &key,
                 const QString &defaultValue = QString()) const override;
    // A "...Command" line exactly as it stands in the file (see IniLines.h).
    QString readVerbatim(const QString &section, const QString &key) const override;
    // Written through to the file at once, so that a failure reaches the person who made the
    // change; throws Failure only when the file does not hold the value afterwards.
    // "...Command" lines are written, and kept through every other write, as they are meant.
    void write(const QString &section, const QString &key, const QString &value) override;

private:
    mutable QSettings m_settings;
};
