#include "batch/SendPreview.h"

#include "batch/BatchPlan.h"
#include "batch/SendStatus.h"
#include "batch/SendValidation.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "filelist/Sentinels.h"
#include "mailbridge/Outbox.h"

namespace {

QString plural(std::int64_t n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

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

QString SendPreview::text(const SendRequest &request, const Outbox &outbox)
{
    return overview(request, outbox).toolTip;
}

namespace {

// Why a message is far above the limit: a file alone over it, or over what the outbox takes.
QString oversizeNote(const BatchPlan &plan, double limit, const Outbox &outbox,
                     std::optional<std::uint64_t> outboxLimit)
{
    QString first;
    int count = 0;
    for (std::size_t n = 0; n < plan.messages.size(); ++n) {
        const PlannedMessage &message = plan.messages[n];
        const std::int64_t mail =
            outbox.mailBytesEstimate(message.bytes, int(message.files.size()));
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

PlanOverview SendPreview::overview(const SendRequest &request, const Outbox &outbox,
                                   std::optional<std::uint64_t> outboxLimit)
{
    PlanOverview result;
    result.messageOfEntry.assign(request.entries.size(), 0);
    const QString into = QStringLiteral("into ") + outbox.destination();
    const auto refusal = refusalFor(request, outbox.messageRules());
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
            mail += outbox.mailBytesEstimate(message.bytes, int(message.files.size()));
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
        if (const QString note = oversizeNote(plan, limit, outbox, outboxLimit); !note.isEmpty())
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
