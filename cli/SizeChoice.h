#pragma once

#include <QString>

#include <optional>

class SettingsStore;

// The size limit a command-line Send uses, and where it came from, for the dry run to say.
struct SizeChoice
{
    enum class From
    {
        Option,   // --size
        Settings, // the size the window saved
        Default,  // none given, none saved
    };
    QString text; // kilobytes of 1024, as given
    From from = From::Default;
    QString settingsFile; // where a saved size would be, as a person reads it

    // "from --size", "from the saved settings ~/.config/…", "the default: none is saved in …".
    QString origin() const;
};

// --size when given, else the saved size, else the default. Throws Refusal for a text that is
// no number, and for a limit below 1 kilobyte, which would put every file in a message of its
// own whatever the person meant; the refusal says where the size came from.
SizeChoice chooseSize(const std::optional<QString> &option, const SettingsStore &settings,
                      const QString &settingsFile);
