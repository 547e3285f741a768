#include "settings/IniLines.h"

#include <QList>

namespace {

bool isHexDigit(char16_t u)
{
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

} // namespace

bool isVerbatimKey(const QString &key)
{
    return key.endsWith(QLatin1String("Command"));
}

std::optional<QString> rawIniValue(const QByteArray &file, const QString &section,
                                   const QString &key)
{
    QString current = QStringLiteral("General");
    std::optional<QString> found;
    for (const QByteArray &bytes : file.split('\n')) {
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0 || current != section || line.left(equals).trimmed() != key)
            continue;
        // QSettings keeps the last of repeated keys; so does this.
        found = line.mid(equals + 1).trimmed();
    }
    return found;
}

QString iniWrittenForm(const QString &value)
{
    QString text;
    bool needsQuotes = false;
    bool escapeNextIfHexDigit = false;
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u == ';' || u == ',' || u == '=')
            needsQuotes = true;
        if (escapeNextIfHexDigit && isHexDigit(u)) {
            text += QStringLiteral("\\x") + QString::number(u, 16);
            continue;
        }
        escapeNextIfHexDigit = false;
        switch (u) {
        case '"':
        case '\\':
            text += QLatin1Char('\\');
            text += c;
            break;
        case '\0':
            text += QStringLiteral("\\0");
            escapeNextIfHexDigit = true;
            break;
        case '\a':
            text += QStringLiteral("\\a");
            break;
        case '\b':
            text += QStringLiteral("\\b");
            break;
        case '\f':
            text += QStringLiteral("\\f");
            break;
        case '\n':
            text += QStringLiteral("\\n");
            break;
        case '\r':
            text += QStringLiteral("\\r");
            break;
        case '\t':
            text += QStringLiteral("\\t");
            break;
        case '\v':
            text += QStringLiteral("\\v");
            break;
        default:
            if (u <= 0x1f) {
                text += QStringLiteral("\\x") + QString::number(u, 16);
                escapeNextIfHexDigit = true;
            } else {
                text += c;
            }
        }
    }
    if (value.startsWith(QLatin1Char('@')))
        text.prepend(QLatin1Char('@'));
    if (needsQuotes || text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' ')))
        text = QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

QString verbatimValue(const QString &raw, const std::optional<QString> &parsed)
{
    if (parsed && iniWrittenForm(*parsed) == raw)
        return *parsed;
    return raw;
}
