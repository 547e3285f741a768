#pragma once

#include <QString>

// "~" and "~/…" name the home folder, as a shell would read them; any other text, "~other"
// included, is returned as it is.
QString expandHome(const QString &folderText);

// The path with the home folder shown as "~", for a person to read.
QString withHomeAsTilde(const QString &path);

// Where Ferrymail keeps what it must remember between runs: $XDG_STATE_HOME/Ferrymail, else
// ~/.local/state/Ferrymail.
QString stateFolder();
