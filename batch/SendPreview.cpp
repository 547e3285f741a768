#include "batch/SendPreview.h"

#include "batch/AttachmentPath.h"
#include "batch/MessageSplitter.h"
#include "batch/SendStatus.h"
#include "batch/SendValidation.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "filelist/FileSystem.h"
#include "mailbridge/compose/Base64Lines.h"

#include <limits>

namespace {

// Headers of a message (addresses, subject, date, id, MIME) and of one attachment part
// (type, disposition, names, boundary): typical sizes, enough for "about".
constexpr std::int64_t messageHeaderBytes = 400;
constexpr std::int64_t partHeaderBytes = 250;

QString plural(std::int64_t n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files)
{
    return std::int64_t(base64LinesSize(std::uint64_t(fileBytes))) + messageHeaderBytes +
           files * partHeaderBytes;
}

std::int64_t SendPreview::sizeOf(const SendRequest &request, std::size_t line)
{
    if (m_sizes.size() != request.entries.size())
        m_sizes.assign(request.entries.size(), -1);
    if (m_sizes[line] < 0)
        m_sizes[line] =
            m_files.FileSize(attachmentPath(request.folder, request.entries[line].name));
    return m_sizes[line];
}

QString SendPreview::text(const SendRequest &request, const QString &destination)
{
    const QString into = QStringLiteral("into ") + destination;
    if (const auto refusal = refusalFor(request))
        return QStringLiteral("A Send now would be refused: \"%1\"; %2").arg(*refusal, into);
    try {
        MessageSplitter splitter(sizeLimitBytes(request.sizeText));
        std::int64_t files = 0;
        std::int64_t messages = 0;
        std::int64_t mail = 0;
        for (std::size_t line = 0; line < request.entries.size(); ++line) {
            if (!request.entries[line].ticked)
                continue;
            const std::int64_t size = sizeOf(request, line);
            const std::int64_t bytes = splitter.openBytes() + size;
            const int inMessage = splitter.openFiles() + 1;
            if (bytes > std::numeric_limits<std::int32_t>::max())
                throw Failure(QStringLiteral("The files of one message add up to more than "
                                             "2,147,483,647 bytes with %1.")
                                  .arg(displayFileName(request.entries[line].name)));
            ++files;
            if (splitter.add(size)) {
                ++messages;
                mail += mailBytesEstimate(bytes, inMessage);
            }
        }
        if (splitter.openFiles() > 0) {
            ++messages;
            mail += mailBytesEstimate(splitter.openBytes(), splitter.openFiles());
        }
        return QStringLiteral("%1 in %2; about %3 as mail; %4")
            .arg(plural(files, "file", "files"), plural(messages, "message", "messages"),
                 byteText(mail), into);
    } catch (const Failure &failure) {
        return failure.description() + QStringLiteral("; ") + into;
    }
}
