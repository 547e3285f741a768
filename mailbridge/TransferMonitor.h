#pragma once

#include "common/SendCancelled.h"

#include <QString>

#include <cstdint>

// What an outbox reports while it writes one message, and how it learns that the Send should
// stop. Called on whichever thread runs the Send, so implementations must be safe there.
class TransferMonitor
{
public:
    virtual ~TransferMonitor() = default;

    // The outbox starts reading the attachment at this path.
    virtual void attachmentStarted(const QString &path) = 0;
    // Another n bytes of the attachments' own content have gone into the message.
    virtual void attachmentBytes(std::int64_t n) = 0;
    // Asked between blocks; once true, the outbox drops the message under way, leaving
    // nothing of it anywhere, and throws SendCancelled.
    virtual bool cancelRequested() const = 0;

    // Reports to nobody and never cancels.
    static TransferMonitor &none();
};
