#pragma once

#include <QStringList>

class SettingsStore;

// The size limit and the last ten senders, recipients and folders, most recent first, kept
// in section "Settings" under "MaxSize" and "<word>0" … "<word>9".
namespace RememberedEntries {

inline constexpr int count = 10;

QString loadMaxSize(const SettingsStore &store);
// The size as saved; empty when none is, and loadMaxSize gives the default.
QString savedMaxSize(const SettingsStore &store);
void saveMaxSize(SettingsStore &store, const QString &sizeText);

// Always ten texts, empty ones included.
QStringList loadList(const SettingsStore &store, const QString &word);
// Writes all ten keys: the current text first, then the entries in list order without the
// one at the chosen position (-1 when the text was typed, which drops the tenth).
void saveList(SettingsStore &store, const QString &word, const QStringList &entries,
              const QString &currentText, int chosenPosition);

} // namespace RememberedEntries
