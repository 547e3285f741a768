#pragma once

#include "mailbridge/compose/MessageContent.h"
#include "mailbridge/compose/Sha256.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class TransferMonitor;

// Where the sender finds a copy of each message that went through the submission server: the
// account's Sent folder. Used from the Send's thread only.
class SentCopies
{
public:
    virtual ~SentCopies() = default;

    // Before the first message goes: reaches the folder (logs in, finds or makes it), so that
    // copies that could not be kept stop the Send before anything is sent. Returns the largest
    // copy the folder takes, when the server says. Throws Failure, or SendCancelled once the
    // cancel check says so.
    virtual std::optional<std::uint64_t> prepare() = 0;

    // Keeps a copy of the message that went: content composed once more, with CRLF line
    // endings, whose SHA-256 must be sent. A copy that comes out otherwise (a file changed
    // since) is dropped before the server keeps it, and Failure says so. Each copy is kept at
    // most once. Throws Failure, PerhapsFiled, or SendCancelled when the monitor asks to stop.
    virtual void keep(const MessageContent &content, const Sha256Digest &sent,
                      TransferMonitor &monitor) = 0;

    // Where the copies go, as a person reads it after "in": "the folder Sent of me@… at …".
    virtual QString destination() const = 0;

    // As Outbox's: the cancel outside a message, and the password the window may ask for.
    virtual void setCancelCheck(std::function<bool()> cancelled) = 0;
    virtual bool needsPassword() const { return false; }
    virtual void setPassword(const QString &) {}
};
