#include "batch/SendPreview.h"

#include "batch/BatchPlan.h"
#include "batch/SendStatus.h"
#include "batch/SendValidation.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "filelist/Sentinels.h"
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
    return overview(request, destination, ending).toolTip;
}

namespace {

// Why a message is far above the limit: a file alone over it, or over what the outbox takes.
QString oversizeNote(const BatchPlan &plan, double limit, LineEnding ending,
                     std::optional<std::uint64_t> outboxLimit)
{
    QString first;
    int count = 0;
    for (std::size_t n = 0; n < plan.messages.size(); ++n) {
        const PlannedMessage &message = plan.messages[n];
        const std::int64_t mail =
            mailBytesEstimate(message.bytes, int(message.files.size()), ending);
        QString note;
        if (outboxLimit && std::uint64_t(mail) > *outboxLimit)
            note = QStringLiteral("message %1 is about %2 as mail, more than the outbox takes "
                                  "(%3)")
                       .arg(n + 1)
                       .arg(byteText(mail), byteText(std::int64_t(*outboxLimit)));
        else if (const PlannedFile &last = message.files.back(); double(last.size) > limit)
            // In the files' bytes, which the limit counts.
            note =
                QStringLiteral("message %1 is %2: %3 alone is %4")
                    .arg(n + 1)
                    .arg(byteText(message.bytes), displayFileName(last.name), byteText(last.size));
        if (note.isEmpty())
            continue;
        if (count++ == 0)
            first = note;
    }
    if (count > 1)
        first += QStringLiteral(" (and %1 more above the limit)").arg(count - 1);
    return first;
}

} // namespace

PlanOverview SendPreview::overview(const SendRequest &request, const QString &destination,
                                   LineEnding ending, std::optional<std::uint64_t> outboxLimit)
{
    PlanOverview result;
    result.messageOfEntry.assign(request.entries.size(), 0);
    const QString into = QStringLiteral("into ") + destination;
    const auto refusal = refusalFor(request);
    if (refusal)
        result.toolTip = QStringLiteral("A Send now would be refused:\n%1\n%2").arg(*refusal, into);
    if (request.listState != ListState::Files)
        return result;
    try {
        const double limit = sizeLimitBytes(request.sizeText);
        const BatchPlan plan = planBatch(request, m_sizes);
        if (plan.fileCount == 0) {
            result.line = QStringLiteral("No files ticked");
            return result;
        }
        std::int64_t mail = 0;
        for (const PlannedMessage &message : plan.messages)
            mail += mailBytesEstimate(message.bytes, int(message.files.size()), ending);
        // The plan holds the ticked entries in list order.
        std::size_t message = 0;
        std::size_t inMessage = 0;
        for (std::size_t n = 0; n < request.entries.size(); ++n) {
            if (!request.entries[n].ticked)
                continue;
            result.messageOfEntry[n] = int(message) + 1;
            if (++inMessage == plan.messages[message].files.size()) {
                ++message;
                inMessage = 0;
            }
        }
        const QString files = plural(plan.fileCount, "file", "files");
        const QString messages = plural(std::int64_t(plan.messages.size()), "message", "messages");
        result.line =
            QStringLiteral("%1 in %2, about %3 as mail").arg(files, messages, byteText(mail));
        if (const QString note = oversizeNote(plan, limit, ending, outboxLimit); !note.isEmpty())
            result.line += QStringLiteral("; ") + note;
        if (!refusal)
            result.toolTip = QStringLiteral("%1 in %2\nabout %3 as mail\n%4")
                                 .arg(files, messages, byteText(mail), into);
    } catch (const Failure &failure) {
        result.line = failure.description();
        if (!refusal)
            result.toolTip = failure.description() + QStringLiteral("\n") + into;
    }
    return result;
}
