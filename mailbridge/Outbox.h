#pragma once

#include "mailbridge/Draft.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/LineEnding.h"
#include "mailbridge/MessageRules.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TransferMonitor;

// Where a Send puts its messages: a folder, a server's Drafts, or on to the recipient. Each
// outbox composes the drafts it is given in its own line endings and files them its own way.
class Outbox
{
public:
    virtual ~Outbox() = default;

    // Composes the draft and files it, reporting to and obeying the monitor while it writes.
    // Throws SendCancelled when the monitor asked to stop (nothing of the message is left),
    // FiledWithFailure when the message reached the outbox but a later step failed,
    // PerhapsFiled when whether it arrived cannot be known, Failure when it did not arrive.
    virtual void file(const Draft &draft, TransferMonitor &monitor) = 0;

    // Where messages go, as a person reads it after "into" ("the Maildir outbox ~/Outbox"), or
    // for an outbox that sends on, after "through" ("the mail server smtp.example.org").
    virtual QString destination() const = 0;

    // Whether filed messages go on to their recipients at once (they are then "sent"
    // through the destination rather than put into it).
    virtual bool sendsOn() const { return false; }

    // Where `messages` messages to `to` (the Send's To field as typed) went, as the last word
    // on a Send: "3 messages in the Maildir outbox ~/Outbox", "3 drafts in the Drafts folder
    // of me@example.org", or for an outbox that sends on "Sent to ann@example.org: 3 messages".
    virtual QString deliveredText(int messages, const QString &to) const;

    // A folder on this machine where a person can look at the filed messages; empty when the
    // messages go to a server.
    virtual QString localFolder() const { return {}; }

    // How the lines of messages end where this outbox files them; their sizes follow it.
    virtual LineEnding lineEnding() const { return LineEnding::Lf; }

    // What the messages this outbox writes can carry, and about how large they become: a
    // Send checks and estimates with them before anything is written.
    virtual const MessageRules &messageRules() const = 0;
    // About the bytes a message of files of these total sizes takes here.
    std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files) const
    {
        return messageRules().mailBytesEstimate(fileBytes, files, lineEnding());
    }

    // The largest message in bytes the outbox takes, when it knows one. May ask a server;
    // throws Failure then.
    virtual std::optional<std::uint64_t> messageSizeLimit() { return std::nullopt; }

    // The exact number of bytes the message will take where this outbox files it, found from
    // the sizes and first bytes of its files without reading them whole. Throws Failure for a
    // file that cannot be attached or text that cannot be written.
    virtual std::uint64_t storedSize(const Draft &draft) const = 0;

    // Throws Failure for the first message larger than the outbox takes, naming it, its files,
    // both sizes and the destination, so that a Send is refused before its first message
    // goes. Outboxes without a limit size nothing. May ask a server.
    virtual void checkSizes(const std::vector<Draft> &drafts);

    // An outbox that logs in to a server may lack the password; the window asks for it on its
    // own thread before the Send starts, and hands it over here.
    virtual bool needsPassword() const { return false; }
    // Asked during every wait on a server outside a message's filing (which obeys its own
    // monitor), so that a Send can be stopped while the outbox connects or asks questions.
    virtual void setCancelCheck(std::function<bool()>) {}
    virtual void setPassword(const QString &) {}
};
