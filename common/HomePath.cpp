#include "common/HomePath.h"

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

QString withHomeAsTilde(const QString &path)
{
    const QString home = QDir::homePath();
    if (home.isEmpty() || home == QLatin1String("/"))
        return path;
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString stateFolder()
{
    // Only an absolute path counts, as the base directory rules say.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.startsWith(QLatin1Char('/')))
        return state + QStringLiteral("/Ferrymail");
    return QDir::homePath() + QStringLiteral("/.local/state/Ferrymail");
}
