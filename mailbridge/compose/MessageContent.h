#pragma once

#include "mailbridge/BatchManifest.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/MessageStamp.h"

#include <QString>

#include <optional>
#include <vector>

// What one message says, as the mail item holds it until it is sent.
struct MessageContent
{
    QString to;
    QString from;
    QString subject;
    std::vector<Attachment> attachments;    // in the order added
    MessageStamp stamp = newMessageStamp(); // fixed when the item is made
    // A text part before the files and their checksums after them (ManifestText.h).
    std::optional<BatchManifest> manifest = std::nullopt;
};
