#include "common/EscapedText.h"

bool isControlCharacter(char16_t u)
{
    return u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029;
}

QString escapedControls(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!isControlCharacter(u)) {
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
            shown += u < 0x100 ? QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'))
                               : QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        }
    }
    return shown;
}
