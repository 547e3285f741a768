#include "filelist/FileNameOrder.h"

#include <algorithm>
#include <vector>

void sortFileNames(QStringList &names)
{
    // Folding each name once keeps large folders quick to sort.
    struct Keyed
    {
        QString folded;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (QString &name : names)
        keyed.push_back({name.toCaseFolded(), std::move(name)});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (const int c = QString::compare(a.folded, b.folded); c != 0)
            return c < 0;
        return a.name < b.name;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[std::size_t(i)].name);
}
