#include "settings/ManifestSetting.h"

#include "settings/SettingsStore.h"

bool manifestWanted(const SettingsStore &store)
{
    const QString value =
        store.read(QStringLiteral("Settings"), QStringLiteral("Manifest")).trimmed().toLower();
    return !(value == QLatin1String("false") || value == QLatin1String("no") ||
             value == QLatin1String("off") || value == QLatin1String("0"));
}
