#pragma once

#include <QString>

// Writes a configuration for a test's own dbus-daemon into folder and returns its path: a
// session-type bus listening on socketPath, open to all of this user's clients, and without
// service folders. `dbus-daemon --session` would read the machine's service files and start
// what is installed there (a desktop's notification daemon, a portal) for any name a test
// asks for but has not yet put on the bus itself.
QString writePrivateBusConfig(const QString &folder, const QString &socketPath);
