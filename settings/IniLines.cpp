#include "settings/IniLines.h"

namespace {

// Calls line(section, key, value) for each "key=value" line; the index is the line's.
template <typename Visit> void forEachKeyLine(const QList<QByteArray> &lines, Visit visit)
{
    QString section = QStringLiteral("General");
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines[index]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            visit(index, section, line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
}

} // namespace

bool isVerbatimKey(const QString &key)
{
    return key.endsWith(QLatin1String("Command"));
}

std::optional<QString> rawIniValue(const QByteArray &file, const QString &section,
                                   const QString &key)
{
    std::optional<QString> found;
    forEachKeyLine(file.split('\n'), [&](qsizetype, const QString &lineSection,
                                         const QString &lineKey, const QString &value) {
        // QSettings keeps the last of repeated keys; so does this.
        if (lineSection == section && lineKey == key)
            found = value;
    });
    return found;
}

QList<IniLine> verbatimLines(const QByteArray &file)
{
    QList<IniLine> lines;
    forEachKeyLine(file.split('\n'), [&](qsizetype, const QString &section, const QString &key,
                                         const QString &value) {
        if (isVerbatimKey(key))
            lines.append({section, key, value});
    });
    return lines;
}

QByteArray withVerbatimLines(const QByteArray &file, const QList<IniLine> &lines)
{
    QList<QByteArray> text = file.split('\n');
    forEachKeyLine(
        text, [&](qsizetype index, const QString &section, const QString &key, const QString &) {
            for (const IniLine &line : lines)
                if (line.section == section && line.key == key)
                    text[index] = (key + QLatin1Char('=') + line.value).toUtf8();
        });
    return text.join('\n');
}
