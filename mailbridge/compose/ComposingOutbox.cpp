#include "mailbridge/compose/ComposingOutbox.h"

#include "mailbridge/DeliveryWords.h"
#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/ComposedMessageRules.h"
#include "mailbridge/compose/DraftContent.h"
#include "mailbridge/compose/GMimeLibrary.h"
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

QString ComposingOutbox::deliveredText(int messages, const QString &to) const
{
    if (!sendsOn())
        return Outbox::deliveredText(messages, to);
    initGMime();
    const QString recipients = recipientsText(mailboxAddresses(to));
    if (recipients.isEmpty())
        return Outbox::deliveredText(messages, to);
    return QStringLiteral("Sent to %1: %2")
        .arg(recipients, countOf(messages, QStringLiteral("message")));
}
