#include "batch/ComposedSizes.h"

#include "batch/BatchPlan.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/MessageWriter.h"

std::vector<std::uint64_t> composedSizes(const BatchPlan &plan, const SendRequest &request)
{
    std::vector<std::uint64_t> sizes;
    sizes.reserve(plan.messages.size());
    for (const PlannedMessage &message : plan.messages) {
        // Composed as the outbox will compose it; only the stamp differs, and its parts are
        // of fixed length.
        MessageContent content;
        content.to = request.recipient;
        content.from = request.sender;
        content.subject = message.subject;
        for (const PlannedFile &file : message.files)
            content.attachments.push_back(inspectAttachment(file.path));
        sizes.push_back(composedSize(content));
    }
    return sizes;
}
