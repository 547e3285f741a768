#include "common/OneLineText.h"

#include "common/EscapedText.h"

#include <QStringList>

QString oneLineText(const QString &text)
{
    return escapedControls(text);
}

QString terminalText(const QString &text)
{
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line = escapedControls(line);
    return lines.join(u'\n');
}
