#include "settings/QtSettingsStore.h"

#include "common/Failure.h"
#include "settings/IniLines.h"

#include <QFile>
#include <QSaveFile>

namespace {

const QString organization = QStringLiteral("Ferrymail");
const QString application = QStringLiteral("Ferrymail");

QString fullKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// QSettings wrote the whole file anew in its own syntax: the verbatim lines go back as they
// were written. False when the file could not be written.
bool restoreVerbatimLines(const QString &path, const QList<IniLine> &lines)
{
    const QByteArray written = fileBytes(path);
    const QByteArray restored = withVerbatimLines(written, lines);
    if (restored == written)
        return true;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(restored) == restored.size() &&
           file.commit();
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
    return raw ? *raw : read(section, key);
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
        QList<IniLine> verbatim = verbatimLines(fileBytes(settings.fileName()));
        // A line break cannot stand in a line as written: that value keeps QSettings' form.
        if (isVerbatimKey(key) && !value.contains(QLatin1Char('\n')) &&
            !value.contains(QLatin1Char('\r')))
            verbatim.append({section, key, value.trimmed()});
        settings.setValue(fullKey(section, key), value);
        settings.sync();
        switch (settings.status()) {
        case QSettings::NoError:
            if (!restoreVerbatimLines(settings.fileName(), verbatim))
                throw Failure(QStringLiteral("Could not save the setting %1 to %2: the file "
                                             "cannot be written.")
                                  .arg(key, settings.fileName()));
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
