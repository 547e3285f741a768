#include "filelist/AttachmentPath.h"

#include <QDir>

QString attachmentPath(const QString &folder, const QString &name)
{
    const QChar separator = QDir::separator();
    if (folder.endsWith(separator) || folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + separator + name;
}
