#include "mailbridge/compose/Attachment.h"

#include "common/FileNameCodec.h"
#include "mailbridge/compose/RegularFile.h"
#include "mailbridge/compose/SystemIo.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace {

// Enough of the start of a file for the content rules of the shared MIME database.
constexpr qsizetype sniffBytes = 16384;

} // namespace

QString attachedType(const QString &guessedType)
{
    // A message/* or multipart/* part may not be base64 (RFC 2046 5.2.1, 5.1.1), and a reader
    // given one anyway loses its content; as plain bytes it arrives whole under its name.
    if (guessedType.startsWith(QLatin1String("message/")) ||
        guessedType.startsWith(QLatin1String("multipart/")))
        return QStringLiteral("application/octet-stream");
    return guessedType;
}

Attachment inspectAttachment(const QString &path)
{
    const RegularFile file = openRegularFile(path);
    QByteArray head(sniffBytes, Qt::Uninitialized);
    head.truncate(
        qsizetype(readFully(file.fd.get(), head.data(), std::size_t(head.size()), 0, path)));

    Attachment attachment;
    attachment.path = path;
    attachment.fileName = displayFileName(QFileInfo(path).fileName());
    attachment.mimeType =
        attachedType(QMimeDatabase().mimeTypeForFileNameAndData(attachment.fileName, head).name());
    attachment.identity = identityOf(file.status);
    return attachment;
}
