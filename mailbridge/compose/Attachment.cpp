#include "mailbridge/compose/Attachment.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "mailbridge/compose/RegularFile.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <cerrno>
#include <unistd.h>

namespace {

// Enough of the start of a file for the content rules of the shared MIME database.
constexpr qsizetype sniffBytes = 16384;

} // namespace

Attachment inspectAttachment(const QString &path)
{
    const RegularFile file = openRegularFile(path);
    QByteArray head(sniffBytes, Qt::Uninitialized);
    ssize_t n;
    do
        n = ::pread(file.fd.get(), head.data(), std::size_t(head.size()), 0);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot read %1").arg(displayFileName(path)), errno));
    head.truncate(n);

    Attachment attachment;
    attachment.path = path;
    attachment.fileName = displayFileName(QFileInfo(path).fileName());
    attachment.mimeType =
        QMimeDatabase().mimeTypeForFileNameAndData(attachment.fileName, head).name();
    return attachment;
}
