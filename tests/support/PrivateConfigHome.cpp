#include "support/PrivateConfigHome.h"

#include <QSettings>

PrivateConfigHome::PrivateConfigHome(const QString &folder)
    : m_folder(folder), m_previous(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_CONFIG_HOME", folder.toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

PrivateConfigHome::~PrivateConfigHome()
{
    qputenv("XDG_CONFIG_HOME", m_previous);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLocal8Bit(m_previous));
}

QString PrivateConfigHome::settingsFile() const
{
    return m_folder + QStringLiteral("/Ferrymail/Ferrymail.conf");
}
