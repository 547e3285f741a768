#include "batch/SendPreview.h"

#include "batch/BatchPlan.h"
#include "batch/SendStatus.h"
#include "batch/SendValidation.h"
#include "common/Failure.h"
#include "mailbridge/compose/Base64Lines.h"

namespace {

// Headers of a message (addresses, subject, date, id, MIME) and of one attachment part
// (type, disposition, names, boundary): typical sizes and line counts, enough for "about".
constexpr std::int64_t messageHeaderBytes = 400;
constexpr std::int64_t messageHeaderLines = 10;
constexpr std::int64_t partHeaderBytes = 250;
constexpr std::int64_t partHeaderLines = 6;

QString plural(std::int64_t n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files, LineEnding ending)
{
    const auto bytes = std::uint64_t(fileBytes);
    std::int64_t estimate =
        std::int64_t(base64LinesSize(bytes)) + messageHeaderBytes + files * partHeaderBytes;
    if (ending == LineEnding::CrLf)
        estimate +=
            std::int64_t(base64LineCount(bytes)) + messageHeaderLines + files * partHeaderLines;
    return estimate;
}

bool SendPreview::RememberedSizes::FolderExists(const QString &path) const
{
    return m_files.FolderExists(path);
}

QStringList SendPreview::RememberedSizes::FileNames(const QString &folder) const
{
    return m_files.FileNames(folder);
}

qint64 SendPreview::RememberedSizes::FileSize(const QString &path) const
{
    const auto known = m_sizes.constFind(path);
    if (known != m_sizes.constEnd())
        return *known;
    const qint64 size = m_files.FileSize(path);
    m_sizes.insert(path, size);
    return size;
}

QString SendPreview::text(const SendRequest &request, const QString &destination, LineEnding ending)
{
    const QString into = QStringLiteral("into ") + destination;
    if (const auto refusal = refusalFor(request))
        return QStringLiteral("A Send now would be refused: \"%1\"; %2").arg(*refusal, into);
    try {
        const BatchPlan plan = planBatch(request, m_sizes);
        std::int64_t mail = 0;
        for (const PlannedMessage &message : plan.messages)
            mail += mailBytesEstimate(message.bytes, int(message.files.size()), ending);
        return QStringLiteral("%1 in %2; about %3 as mail; %4")
            .arg(plural(plan.fileCount, "file", "files"),
                 plural(std::int64_t(plan.messages.size()), "message", "messages"), byteText(mail),
                 into);
    } catch (const Failure &failure) {
        return failure.description() + QStringLiteral("; ") + into;
    }
}
