#include "settings/RememberedEntries.h"

#include "settings/SettingsStore.h"

namespace RememberedEntries {

namespace {
const QString section = QStringLiteral("Settings");

QString key(const QString &word, int position)
{
    return word + QString::number(position);
}
} // namespace

QString loadMaxSize(const SettingsStore &store)
{
    return store.read(section, QStringLiteral("MaxSize"), QStringLiteral("750"));
}

QString savedMaxSize(const SettingsStore &store)
{
    return store.read(section, QStringLiteral("MaxSize"));
}

void saveMaxSize(SettingsStore &store, const QString &sizeText)
{
    store.write(section, QStringLiteral("MaxSize"), sizeText);
}

QStringList loadList(const SettingsStore &store, const QString &word)
{
    QStringList entries;
    for (int n = 0; n < count; ++n)
        entries << store.read(section, key(word, n));
    return entries;
}

void saveList(SettingsStore &store, const QString &word, const QStringList &entries,
              const QString &currentText, int chosenPosition)
{
    store.write(section, key(word, 0), currentText);
    int k = 1;
    for (int n = 0; n < count && k < count; ++n) {
        if (n == chosenPosition)
            continue;
        store.write(section, key(word, k++), entries.value(n));
    }
}

} // namespace RememberedEntries
