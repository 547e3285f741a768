#include "support/TestEnvironment.h"

#include <QDir>
#include <QSettings>

TestEnvironment::TestEnvironment()
{
    reset();
}

void TestEnvironment::reset() const
{
    // Through QSettings first, so that its cache of the file forgets the keys as well.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dataHome().toLocal8Bit());
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ferrymail"),
              QStringLiteral("Ferrymail"))
        .clear();
    // Also whatever a case left that QSettings cannot clear: a broken file, a folder in its place.
    for (const QString &folder : {configHome(), dataHome()}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
}
