#pragma once

#include <QString>

// The per-user settings store: texts addressed by section and key, for this application.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored text, or defaultValue when the key is absent. Never fails for absent keys.
    virtual QString read(const QString &section, const QString &key,
                         const QString &defaultValue = QString()) const = 0;
    // The text as the person wrote it, for a line handed to a shell; a store without a file
    // of its own holds texts exactly anyway.
    virtual QString readVerbatim(const QString &section, const QString &key) const
    {
        return read(section, key);
    }
    // Creates section and key as needed; throws Failure when the store cannot keep it.
    virtual void write(const QString &section, const QString &key, const QString &value) = 0;
};
