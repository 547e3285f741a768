#pragma once

#include <QString>

class SettingsStore;

// Where the outbox is: the setting Outbox of section MailClient when set, otherwise
// Ferrymail/Outbox in the user's data folder ($XDG_DATA_HOME, by default ~/.local/share).
QString defaultOutboxFolder(const SettingsStore &store);
