#include "batch/PreparedSend.h"

#include "batch/SendValidation.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"

PreparedSend prepareSend(SendRequest request, const FileSystem &files)
{
    if (const auto refusal = refusalOf(request))
        throw FieldRefusal(refusal->text, refusal->field);
    try {
        sizeLimitBytes(request.sizeText);
    } catch (const Refusal &refusal) {
        throw FieldRefusal(refusal.description(), SendField::Size);
    }
    PreparedSend send{std::move(request), {}};
    try {
        send.plan = planBatch(send.request, files);
    } catch (const Refusal &refusal) {
        throw FieldRefusal(refusal.description(), SendField::Files, true);
    } catch (const Failure &failure) {
        throw PlanningFailure(failure.description());
    }
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
