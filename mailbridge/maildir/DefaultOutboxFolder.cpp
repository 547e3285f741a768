#include "mailbridge/maildir/DefaultOutboxFolder.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "settings/QtSettingsStore.h"
#include "settings/SettingsStore.h"

#include <QDir>

QString defaultOutboxFolder(const SettingsStore &store)
{
    const QString configured = store.read(QStringLiteral("MailClient"), QStringLiteral("Outbox"));
    if (!configured.isEmpty()) {
        const QString folder = expandHome(configured);
        // Relative to whatever folder the tool was started in would be a different outbox
        // each time.
        if (QDir::isRelativePath(folder))
            throw Failure(QStringLiteral("The setting Outbox in section [MailClient] of %1 is "
                                         "\"%2\", which is not a full path. Set it to a folder "
                                         "starting with / or ~/, such as ~/Mail/Outbox.")
                              .arg(QtSettingsStore::filePath(), configured));
        return folder;
    }
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG rules ignore a relative path here.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Ferrymail/Outbox");
}
