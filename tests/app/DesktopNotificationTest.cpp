#include "app/DesktopNotification.h"

#include "support/PrivateBusConfig.h"
#include "support/TestTools.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

namespace {

// A notification service as a desktop runs one: it records what it is asked to show.
class RecordingNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList shown; // "app: title: text"

public slots:
    uint Notify(const QString &app, uint, const QString &, const QString &title,
                const QString &text, const QStringList &, const QVariantMap &, int)
    {
        shown << app + ": " + title + ": " + text;
        return uint(shown.size());
    }
};

// A message bus of the test's own, on a socket in a temporary folder, that starts no service.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start(
            QStandardPaths::findExecutable("dbus-daemon"),
            {"--config-file=" + writePrivateBusConfig(m_folder.path(), m_folder.filePath("bus")),
             "--nofork", "--print-address"});
        if (m_daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString &name : m_connections)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    QDBusConnection connect(const QString &name)
    {
        m_connections << name;
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QStringList m_connections;
};

TEST(DesktopNotification, WithoutASessionBusNothingHappensAndNothingWaits)
{
    const QTemporaryDir runtime;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QElapsedTimer clock;
    clock.start();
    postDesktopNotification("Ferrymail", "Sent to ann@example.org: 2 messages");
    postDesktopNotification("Ferrymail", "and again");
    // Far more than posting takes even under sanitizers; far less than D-Bus's 25 s timeout.
    EXPECT_LT(clock.elapsed(), 10'000);
}

// A notification daemon installed on the machine (every desktop has one) must not be started
// into the test's bus, or it takes the posts meant for nobody.
TEST(DesktopNotification, TheTestsBusStartsNoInstalledService)
{
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "no dbus-daemon on this machine";
    const QString services = qEnvironmentVariable("XDG_DATA_HOME") + "/dbus-1/services";
    ASSERT_TRUE(QDir().mkpath(services));
    writeFile(services + "/org.freedesktop.Notifications.service",
              "[D-BUS Service]\nName=org.freedesktop.Notifications\nExec=/bin/true\n");
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection tool = bus.connect("tool");
    ASSERT_TRUE(tool.isConnected());
    const QDBusReply<QStringList> activatable = tool.interface()->activatableServiceNames();
    ASSERT_TRUE(activatable.isValid()) << activatable.error().message();
    EXPECT_EQ(activatable.value(), QStringList{"org.freedesktop.DBus"});
}

TEST(DesktopNotification, TheServiceGetsTheTextWithoutTheSenderWaiting)
{
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "no dbus-daemon on this machine";
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection desktop = bus.connect("desktop");
    QDBusConnection tool = bus.connect("tool");
    ASSERT_TRUE(desktop.isConnected());
    ASSERT_TRUE(tool.isConnected());

    // No service yet: the post returns at once and is lost.
    QElapsedTimer clock;
    clock.start();
    postDesktopNotification(tool, "Ferrymail", "nobody listens");
    EXPECT_LT(clock.elapsed(), 10'000);

    RecordingNotifications service;
    ASSERT_TRUE(desktop.registerObject("/org/freedesktop/Notifications", &service,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService("org.freedesktop.Notifications"));
    postDesktopNotification(tool, "Ferrymail", "3 messages in the outbox folder ~/Outbox");
    // The answer comes through this thread's event loop, after the post has returned.
    EXPECT_TRUE(service.shown.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.shown.isEmpty(); }, 5000));
    EXPECT_EQ(service.shown,
              QStringList{"Ferrymail: Ferrymail: 3 messages in the outbox folder ~/Outbox"});
}

} // namespace

#include "DesktopNotificationTest.moc"
