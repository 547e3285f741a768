#include "filelist/FileNameOrder.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>
#include <vector>

QCollator fileNameCollator(const QLocale &locale)
{
    // The C locale orders by code point, which puts every accented letter after "z": a person
    // reading a list expects letters together, as in English.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

void sortFileNames(QStringList &names, const QLocale &locale)
{
    const QCollator collator = fileNameCollator(locale);
    // One key per name, compared as bytes: a large folder sorts without collating each
    // comparison anew.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(std::size_t(names.size()));
    for (const QString &name : std::as_const(names))
        keys.push_back(collator.sortKey(name));
    std::vector<qsizetype> order(std::size_t(names.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (const int c = keys[std::size_t(a)].compare(keys[std::size_t(b)]); c != 0)
            return c < 0;
        // Names the collation holds equal keep a fixed order among themselves.
        return names[a] < names[b];
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const qsizetype n : order)
        sorted << names[n];
    names = std::move(sorted);
}
