#include "app/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void postDesktopNotification(const QDBusConnection &bus, const QString &title, const QString &text)
{
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default).
    call << QStringLiteral("Ferrymail") << 0u << QStringLiteral("ferrymail") << title << text
         << QStringList() << QVariantMap() << -1;
    // No reply is awaited: without a service, the bus's error goes nowhere.
    bus.send(call);
}

void postDesktopNotification(const QString &title, const QString &text)
{
    postDesktopNotification(QDBusConnection::sessionBus(), title, text);
}
