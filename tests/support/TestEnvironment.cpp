#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>

TestEnvironment::TestEnvironment()
{
    // Nothing of the desktop the tests happen to run in: its session bus would bring its
    // keyring and notification daemon into the cases (and show their notifications), and
    // libdbus would start a bus of its own, outliving the tests, for a bare $DISPLAY. Cases that
    // need a bus or a keyring start their own.
    const QString runtime = m_dir.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/no-bus").toLocal8Bit());
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }
    reset();
}

void TestEnvironment::reset() const
{
    // Through QSettings first, so that its cache of the file forgets the keys as well.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dataHome().toLocal8Bit());
    qputenv("XDG_STATE_HOME", stateHome().toLocal8Bit());
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ferrymail"),
              QStringLiteral("Ferrymail"))
        .clear();
    // Also whatever a case left that QSettings cannot clear: a broken file, a folder in its place.
    for (const QString &folder : {configHome(), dataHome(), stateHome()}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
}

int exitCodeFor(int testResult)
{
    const testing::UnitTest &unit = *testing::UnitTest::GetInstance();
    if (testResult == 0 && unit.skipped_test_count() > 0 && unit.successful_test_count() == 0)
        return skippedExitCode;
    return testResult;
}
