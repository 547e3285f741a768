#include "batch/PreparedSend.h"

#include "batch/SendValidation.h"
#include "common/Failure.h"

PreparedSend prepareSend(SendRequest request, const FileSystem &files)
{
    if (const auto refusal = refusalFor(request))
        throw Refusal(*refusal);
    PreparedSend send{std::move(request), {}};
    send.plan = planBatch(send.request, files);
    return send;
}

std::vector<Draft> draftsOf(const PreparedSend &send)
{
    std::vector<Draft> messages;
    messages.reserve(send.plan.messages.size());
    for (const PlannedMessage &planned : send.plan.messages) {
        Draft message{send.request.recipient, send.request.sender, planned.subject, {}};
        for (const PlannedFile &file : planned.files)
            message.attachmentPaths << file.path;
        messages.push_back(std::move(message));
    }
    return messages;
}
