#pragma once

#include <QString>

class QDBusConnection;

// Posts a desktop notification over the freedesktop Notifications interface without waiting
// for an answer: where no notification service (or no session bus) runs, nothing happens and
// nothing blocks.
void postDesktopNotification(const QDBusConnection &bus, const QString &title, const QString &text);

// The same on the session bus of this desktop, when there is one.
void postDesktopNotification(const QString &title, const QString &text);
