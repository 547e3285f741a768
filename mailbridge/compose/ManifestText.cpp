#include "mailbridge/compose/ManifestText.h"

#include "common/OneLineText.h"

namespace {

QString grouped(std::uint64_t n)
{
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

// "2026-12-09 23:57:14 +01:00": readable, and unambiguous wherever it is read.
QString dateText(const QDateTime &date)
{
    const int offset = date.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString checksumFileName(const BatchManifest &manifest)
{
    return QStringLiteral("checksums-%1-of-%2.sha256")
        .arg(manifest.message)
        .arg(manifest.messageCount);
}

QString manifestText(const BatchManifest &manifest, const std::vector<Attachment> &attachments)
{
    // Lines of at most 76 characters where names leave them so, for text that stays 7-bit.
    QString text =
        QStringLiteral("Message %1 of %2\n\n").arg(manifest.message).arg(manifest.messageCount);
    if (manifest.subjectPrefix.isEmpty())
        text += QStringLiteral("A batch sent %1.\n").arg(dateText(manifest.date));
    else
        text += QStringLiteral("The batch \"%1\", sent %2.\n")
                    .arg(oneLineText(manifest.subjectPrefix), dateText(manifest.date));

    const bool one = attachments.size() == 1;
    text += QStringLiteral("\nThis message carries %1 of the batch's %2 files:\n")
                .arg(attachments.size())
                .arg(manifest.fileCount);
    for (const Attachment &attachment : attachments)
        text += QStringLiteral("  %1  %2 bytes\n")
                    .arg(oneLineText(attachment.fileName), grouped(attachment.identity.size));
    text += QStringLiteral("\nThe SHA-256 checksum%1 of %2 in this message's last part,\n"
                           "%3. Save it with the %4 and check %5 with:\n"
                           "  sha256sum -c %3\n\n")
                .arg(QLatin1String(one ? "" : "s"),
                     QLatin1String(one ? "this file is" : "these files are"),
                     checksumFileName(manifest), QLatin1String(one ? "file" : "files"),
                     QLatin1String(one ? "it" : "them"));

    if (manifest.files.isEmpty()) {
        text += QStringLiteral("The batch has %1 files, too many to list here: each message\n"
                               "lists its own.\n")
                    .arg(manifest.fileCount);
        return text;
    }
    text += QStringLiteral("All %1 files of the batch, each after the number of its message:\n")
                .arg(manifest.files.size());
    const int width = int(QString::number(manifest.messageCount).size());
    for (const BatchFile &file : manifest.files)
        text += QStringLiteral("  %1  %2\n").arg(file.message, width).arg(oneLineText(file.name));
    return text;
}

QByteArray checksumLine(const QByteArray &hexDigits, const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    QByteArray escaped;
    escaped.reserve(bytes.size());
    for (const char c : bytes) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    const bool anyEscaped = escaped.size() != bytes.size();
    return (anyEscaped ? QByteArray("\\") : QByteArray()) + hexDigits + "  " + escaped + '\n';
}
