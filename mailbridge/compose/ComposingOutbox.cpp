#include "mailbridge/compose/ComposingOutbox.h"

#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/ComposedMessageRules.h"
#include "mailbridge/compose/DraftContent.h"
#include "mailbridge/compose/MessageWriter.h"

std::uint64_t ComposingOutbox::storedSize(const Draft &draft) const
{
    return composedSize(
        draftContent(draft, [this](const QString &path) { return inspectForSizing(path); }),
        lineEnding());
}

Attachment ComposingOutbox::inspectForSizing(const QString &path) const
{
    return inspectAttachment(path);
}

const MessageRules &ComposingOutbox::messageRules() const
{
    return composedMessageRules();
}
