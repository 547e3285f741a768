#include "batch/SendPreview.h"

#include "batch/BatchPlan.h"
#include "batch/SendStatus.h"
#include "batch/SendValidation.h"
#include "common/Failure.h"
#include "mailbridge/compose/Base64Lines.h"

namespace {

// Headers of a message (addresses, subject, date, id, MIME) and of one attachment part
// (type, disposition, names, boundary): typical sizes, enough for "about".
constexpr std::int64_t messageHeaderBytes = 400;
constexpr std::int64_t partHeaderBytes = 250;

} // namespace

std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files)
{
    return std::int64_t(base64LinesSize(std::uint64_t(fileBytes))) + messageHeaderBytes +
           files * partHeaderBytes;
}

QString sendPreviewText(const SendRequest &request, const FileSystem &files,
                        const QString &destination)
{
    const QString into = QStringLiteral("into ") + destination;
    if (const auto refusal = refusalFor(request))
        return QStringLiteral("A Send now would be refused: \"%1\"; %2").arg(*refusal, into);
    try {
        const BatchPlan plan = planBatch(request, files);
        std::int64_t mail = 0;
        for (const PlannedMessage &message : plan.messages)
            mail += mailBytesEstimate(message.bytes, int(message.files.size()));
        const auto count = plan.messages.size();
        return QStringLiteral("%1 %2 in %3 %4; about %5 as mail; %6")
            .arg(plan.fileCount)
            .arg(plan.fileCount == 1 ? QStringLiteral("file") : QStringLiteral("files"))
            .arg(count)
            .arg(count == 1 ? QStringLiteral("message") : QStringLiteral("messages"),
                 byteText(mail), into);
    } catch (const Failure &failure) {
        return failure.description() + QStringLiteral("; ") + into;
    }
}
