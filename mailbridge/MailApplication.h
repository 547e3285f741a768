#pragma once

#include "mailbridge/MailItem.h"
#include "mailbridge/OutgoingMessage.h"
#include "mailbridge/compose/LineEnding.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct Attachment;

// The mail client's application object: the one place messages come from.
class MailApplication
{
public:
    enum ItemType
    {
        olMailItem = 0
    };

    virtual ~MailApplication() = default;

    // A new, unsent mail item. Throws Failure when the client cannot make one.
    virtual std::unique_ptr<MailItem> CreateItem(ItemType type = olMailItem) = 0;

    // Where messages go, as a person reads it after "into": "the Maildir outbox ~/Outbox".
    virtual QString destination() const = 0;

    // A folder on this machine where a person can look at the filed messages; empty when the
    // messages go to a server.
    virtual QString localFolder() const { return {}; }

    // How the lines of messages end where this outbox files them; their sizes follow it.
    virtual LineEnding lineEnding() const { return LineEnding::Lf; }

    // The largest message in bytes the outbox takes, when it knows one. May ask a server;
    // throws Failure then.
    virtual std::optional<std::uint64_t> messageSizeLimit() { return std::nullopt; }

    // The exact number of bytes the message will take where this outbox files it, found from
    // the sizes and first bytes of its files without reading them whole. Throws Failure for a
    // file that cannot be attached or text that cannot be written.
    virtual std::uint64_t storedSize(const OutgoingMessage &message) const;

    // Throws Failure for the first message larger than the outbox takes, naming it, its files,
    // both sizes and the destination, so that a Send is refused before its first message
    // goes. Outboxes without a limit size nothing. May ask a server.
    virtual void checkSizes(const std::vector<OutgoingMessage> &messages);

    // An outbox that logs in to a server may lack the password; the window asks for it on its
    // own thread before the Send starts, and hands it over here.
    virtual bool needsPassword() const { return false; }
    // Asked during every wait on a server outside a message's Send (which obeys its own
    // monitor), so that a Send can be stopped while the outbox connects or asks questions.
    virtual void setCancelCheck(std::function<bool()>) {}
    virtual void setPassword(const QString &) {}

protected:
    // How storedSize inspects an attachment (inspectAttachment); an outbox may keep the result
    // for its items.
    virtual Attachment inspectForSizing(const QString &path) const;
};
