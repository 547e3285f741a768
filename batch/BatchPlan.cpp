#include "batch/BatchPlan.h"

#include "filelist/AttachmentPath.h"
#include "batch/MessageSplitter.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "filelist/FileSystem.h"

#include <limits>

BatchPlan planBatch(const SendRequest &request, const FileSystem &files)
{
    MessageSplitter splitter(sizeLimitBytes(request.sizeText));
    BatchPlan plan;
    PlannedMessage open;
    const auto close = [&] {
        plan.totalBytes += open.bytes;
        plan.messages.push_back(std::move(open));
        open = PlannedMessage();
    };
    for (const FileLine &entry : request.entries) {
        if (!entry.ticked)
            continue;
        PlannedFile file{entry.name, attachmentPath(request.folder, entry.name), 0};
        file.size = files.FileSize(file.path);
        open.bytes += file.size;
        if (open.bytes > std::numeric_limits<std::int32_t>::max())
            throw Refusal(QStringLiteral("The files of one message add up to more than "
                                         "2,147,483,647 bytes with %1.")
                              .arg(displayFileName(file.path)));
        open.subject += (open.files.empty() ? request.subjectPrefix : QStringLiteral(",")) +
                        displayFileName(entry.name);
        open.files.push_back(std::move(file));
        ++plan.fileCount;
        if (splitter.add(file.size))
            close();
    }
    if (!open.files.empty())
        close();
    return plan;
}
