#include "mailbridge/maildir/DefaultOutboxFolder.h"

#include "settings/SettingsStore.h"

#include <QDir>

QString defaultOutboxFolder(const SettingsStore &store)
{
    const QString configured = store.read(QStringLiteral("MailClient"), QStringLiteral("Outbox"));
    if (!configured.isEmpty())
        return configured;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG rules ignore a relative path here.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Ferrymail/Outbox");
}
