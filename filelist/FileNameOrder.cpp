#include "filelist/FileNameOrder.h"

#include <algorithm>

namespace {

char16_t folded(char16_t c)
{
    // Most names are ASCII: fold those without a table lookup.
    if (c < 128)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}

// Compares letter by letter without building folded copies: a large folder sorts without
// an allocation per name.
int compareIgnoringCase(const QString &a, const QString &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = pa[i].unicode();
        const char16_t y = pb[i].unicode();
        if (x == y)
            continue;
        const char16_t fx = folded(x);
        const char16_t fy = folded(y);
        if (fx != fy)
            return fx < fy ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

void sortFileNames(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        if (const int c = compareIgnoringCase(a, b); c != 0)
            return c < 0;
        return a < b;
    });
}
