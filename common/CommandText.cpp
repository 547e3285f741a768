#include "mailbridge/sendmail/CommandText.h"

QString readableCommandOutput(const QByteArray &kept, std::size_t total)
{
    QString text;
    for (const QChar c : QString::fromUtf8(kept).trimmed()) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            text += QLatin1Char(' ');
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f ||
                 (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    if (total > std::size_t(kept.size()))
        text += QStringLiteral(" … (%1 more bytes)").arg(total - std::size_t(kept.size()));
    return text;
}
