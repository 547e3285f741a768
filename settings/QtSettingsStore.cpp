#include "settings/QtSettingsStore.h"

#include "common/Failure.h"
#include "settings/IniLines.h"

#include <QFile>
#include <QMap>

namespace {

const QString organization = QStringLiteral("Ferrymail");
const QString application = QStringLiteral("Ferrymail");

QString fullKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

std::optional<QString> parsedText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return std::nullopt;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// "Section/Key" of each verbatim line typed by hand, with its meaning.
QMap<QString, QString> handTypedVerbatimLines(const QSettings &settings)
{
    QMap<QString, QString> lines;
    const QByteArray file = fileBytes(settings.fileName());
    for (const QString &fullName : settings.allKeys()) {
        const qsizetype slash = fullName.lastIndexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QStringLiteral("General") : fullName.left(slash);
        const QString key = fullName.mid(slash + 1);
        if (!isVerbatimKey(key))
            continue;
        const std::optional<QString> raw = rawIniValue(file, section, key);
        const std::optional<QString> parsed = parsedText(settings.value(fullName));
        if (raw && (!parsed || verbatimValue(*raw, parsed) != *parsed))
            lines.insert(fullName, *raw);
    }
    return lines;
}

} // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, organization, application)
{
}

QString QtSettingsStore::filePath()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, organization, application)
        .fileName();
}

QString QtSettingsStore::read(const QString &section, const QString &key,
                              const QString &defaultValue) const
{
    const QVariant value = m_settings.value(fullKey(section, key));
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    // Text with unquoted commas, as typed into the file by hand.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    // Absent, or something no text can be made of, such as a broken file gives.
    return defaultValue;
}

QString QtSettingsStore::readVerbatim(const QString &section, const QString &key) const
{
    const std::optional<QString> raw = rawIniValue(fileBytes(m_settings.fileName()), section, key);
    if (!raw)
        return read(section, key);
    return verbatimValue(*raw, parsedText(m_settings.value(fullKey(section, key))));
}

void QtSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    // Each write gets a QSettings of its own: its status keeps the first error it met, which
    // would report every later write as failed too. A file that could not be read
    // (FormatError) hides whether the write itself worked; the second round tells, as the
    // file is either rewritten in good form by then or still the same.
    for (int round = 0; round < 2; ++round) {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, organization,
                           application);
        const QMap<QString, QString> handTyped = handTypedVerbatimLines(settings);
        for (auto line = handTyped.begin(); line != handTyped.end(); ++line)
            settings.setValue(line.key(), line.value());
        settings.setValue(fullKey(section, key), value);
        settings.sync();
        switch (settings.status()) {
        case QSettings::NoError:
            return;
        case QSettings::AccessError:
            throw Failure(QStringLiteral("Could not save the setting %1 to %2: the file or its "
                                         "folder cannot be written.")
                              .arg(key, settings.fileName()));
        case QSettings::FormatError:
            break;
        }
    }
    throw Failure(QStringLiteral("Could not save the setting %1 to %2: the file cannot be read as "
                                 "settings, and it could not be written anew.")
                      .arg(key, filePath()));
}
