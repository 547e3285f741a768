#include "SessionKeyring.h"

#include "TestServerProcesses.h"
#include "support/PrivateBusConfig.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <functional>
#include <stdexcept>

namespace {

constexpr int startPatience = 15'000; // ms

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void waitFor(const std::function<bool()> &ready, const char *what, const SessionKeyring &keyring)
{
    QElapsedTimer waited;
    waited.start();
    while (!ready()) {
        if (waited.elapsed() > startPatience)
            throw std::runtime_error(std::string("the test keyring did not start: no ") + what +
                                     "\n" + keyring.log().toStdString());
        QThread::msleep(20);
    }
}

} // namespace

SessionKeyring::SessionKeyring() : m_folder(testServerFolderTemplate(QStringLiteral("keyring")))
{
    try {
        start();
    } catch (...) {
        stop();
        throw;
    }
}

void SessionKeyring::start()
{
    const QString home = m_folder.filePath(QStringLiteral("home"));
    const QString runtime = m_folder.filePath(QStringLiteral("run"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString socket = m_folder.filePath(QStringLiteral("bus"));
    const QString address = QStringLiteral("unix:path=") + socket;

    m_bus = startServerProcess(
        QStringLiteral("/usr/bin/dbus-daemon"),
        {QStringLiteral("--config-file=") + writePrivateBusConfig(m_folder.path(), socket),
         QStringLiteral("--nofork")},
        {}, m_folder.filePath(QStringLiteral("bus.log")), m_folder.path());
    waitFor([&] { return QFile::exists(socket); }, "bus", *this);

    // The keyring is made and unlocked with this password, so nothing ever prompts.
    const QStringList environment = {
        QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + address,
        QStringLiteral("HOME=") + home,
        QStringLiteral("XDG_DATA_HOME=") + home + QStringLiteral("/data"),
        QStringLiteral("XDG_CONFIG_HOME=") + home + QStringLiteral("/config"),
        QStringLiteral("XDG_RUNTIME_DIR=") + runtime,
        QStringLiteral("DISPLAY=")};
    m_keyring = startServerProcess(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("printf %s test-keyring | exec "
                                              "/usr/bin/gnome-keyring-daemon --foreground "
                                              "--unlock --components=secrets")},
        environment, m_folder.filePath(QStringLiteral("keyring.log")), m_folder.path());

    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    waitFor(
        [] {
            QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
            return bus && bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
        },
        "Secret Service", *this);
}

SessionKeyring::~SessionKeyring()
{
    stop();
}

void SessionKeyring::stop()
{
    if (m_keyring > 0)
        killProcessGroup(m_keyring);
    if (m_bus > 0)
        killProcessGroup(m_bus);
    // What the bus started for the keyring (its prompter) works in the same folder.
    killProcessesWorkingIn(m_folder.path());
    m_keyring = m_bus = 0;
}

QString SessionKeyring::log() const
{
    return QString::fromLocal8Bit(readWhole(m_folder.filePath(QStringLiteral("bus.log"))) +
                                  readWhole(m_folder.filePath(QStringLiteral("keyring.log"))));
}
