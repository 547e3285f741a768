#pragma once

#include <QString>

class SettingsStore;

// Where the outbox is: the setting Outbox of section MailClient when set, with a leading "~"
// standing for the home folder, otherwise Ferrymail/Outbox in the user's data folder
// ($XDG_DATA_HOME, by default ~/.local/share). Throws Failure, naming the setting and the
// settings file, when the setting is a relative path.
QString defaultOutboxFolder(const SettingsStore &store);
