#include "common/OneLineText.h"

QString oneLineText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != 0x7f) {
            shown += c;
            continue;
        }
        switch (u) {
        case '\n':
            shown += QLatin1String("\\n");
            break;
        case '\r':
            shown += QLatin1String("\\r");
            break;
        case '\t':
            shown += QLatin1String("\\t");
            break;
        default:
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        }
    }
    return shown;
}
