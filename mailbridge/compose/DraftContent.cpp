#include "mailbridge/compose/DraftContent.h"

MessageContent draftContent(const Draft &draft,
                            const std::function<Attachment(const QString &path)> &inspect)
{
    MessageContent content;
    content.to = draft.to;
    content.from = draft.from;
    content.subject = draft.subject;
    content.manifest = draft.manifest;
    for (const QString &path : draft.attachmentPaths)
        content.attachments.push_back(inspect(path));
    return content;
}

MessageContent draftContent(const Draft &draft)
{
    return draftContent(draft, [](const QString &path) { return inspectAttachment(path); });
}
