#include "batch/PreparedSend.h"

#include "batch/SendValidation.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "common/FileNameCodec.h"

PreparedSend prepareSend(SendRequest request, const FileSystem &files, const MessageRules &rules)
{
    if (const auto refusal = refusalOf(request, rules))
        throw FieldRefusal(refusal->text, refusal->field);
    try {
        sizeLimitBytes(request.sizeText);
    } catch (const Refusal &refusal) {
        throw FieldRefusal(refusal.description(), SendField::Size);
    }
    PreparedSend send{std::move(request), {}, QDateTime::currentDateTime()};
    try {
        send.plan = planBatch(send.request, files);
    } catch (const Refusal &refusal) {
        throw FieldRefusal(refusal.description(), SendField::Files, true);
    } catch (const Failure &failure) {
        throw PlanningFailure(failure.description());
    }
    return send;
}

namespace {

// What every message of the batch says alike; each then gets its own number.
BatchManifest batchManifest(const PreparedSend &send)
{
    const BatchPlan &plan = send.plan;
    BatchManifest manifest;
    manifest.messageCount = int(plan.messages.size());
    manifest.subjectPrefix = send.request.subjectPrefix;
    manifest.date = send.date;
    manifest.fileCount = plan.fileCount;
    if (plan.fileCount > BatchManifest::listedFilesLimit)
        return manifest;
    for (std::size_t i = 0; i < plan.messages.size(); ++i)
        for (const PlannedFile &file : plan.messages[i].files)
            manifest.files.append(BatchFile{displayFileName(file.name), int(i + 1)});
    return manifest;
}

} // namespace

std::vector<Draft> draftsOf(const PreparedSend &send)
{
    std::vector<Draft> messages;
    messages.reserve(send.plan.messages.size());
    std::optional<BatchManifest> manifest;
    if (send.request.manifest)
        manifest = batchManifest(send);
    for (const PlannedMessage &planned : send.plan.messages) {
        Draft message{send.request.recipient, send.request.sender, planned.subject, {}, manifest};
        if (message.manifest)
            message.manifest->message = int(messages.size() + 1);
        for (const PlannedFile &file : planned.files)
            message.attachmentPaths << file.path;
        messages.push_back(std::move(message));
    }
    return messages;
}
