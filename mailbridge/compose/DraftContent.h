#pragma once

#include "mailbridge/Draft.h"
#include "mailbridge/compose/MessageContent.h"

#include <functional>

// What the draft's message will say, its attachments inspected by inspect (inspectAttachment,
// or what an outbox kept from sizing), with a new stamp. Throws Failure for a file that cannot
// be attached.
MessageContent draftContent(const Draft &draft,
                            const std::function<Attachment(const QString &path)> &inspect);
MessageContent draftContent(const Draft &draft);
