#include "support/TestEnvironment.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>

TestEnvironment::TestEnvironment()
{
    const QString config = m_dir.filePath(QStringLiteral("config"));
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QDir().mkpath(config);
    QDir().mkpath(data);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
}
