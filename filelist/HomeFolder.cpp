#include "filelist/HomeFolder.h"

#include <QDir>

QString expandHome(const QString &folderText)
{
    if (folderText == QLatin1String("~"))
        return QDir::homePath();
    if (folderText.startsWith(QLatin1String("~/"))) {
        const QString home = QDir::homePath();
        return (home.endsWith('/') ? home.chopped(1) : home) + folderText.mid(1);
    }
    return folderText;
}
