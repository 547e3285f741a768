#include "mailbridge/compose/AttachmentInspections.h"

Attachment AttachmentInspections::inspect(const QString &path)
{
    Attachment attachment = inspectAttachment(path);
    m_kept.insert(path, attachment);
    return attachment;
}

Attachment AttachmentInspections::take(const QString &path)
{
    const auto kept = m_kept.constFind(path);
    if (kept == m_kept.constEnd())
        return inspectAttachment(path);
    Attachment attachment = *kept;
    m_kept.erase(kept);
    if (currentIdentity(path) != attachment.identity)
        return inspectAttachment(path);
    return attachment;
}
