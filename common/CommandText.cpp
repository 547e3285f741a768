#include "common/CommandText.h"

#include "common/EscapedText.h"

QString readableCommandOutput(const QByteArray &kept, std::size_t total)
{
    QString text = QString::fromUtf8(kept).trimmed();
    // Line breaks and tabs read as spaces; every other control is shown, never acted on.
    for (QChar &c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    text = escapedControls(text);
    if (total > std::size_t(kept.size()))
        text += QStringLiteral(" … (%1 more bytes)").arg(total - std::size_t(kept.size()));
    return text;
}
