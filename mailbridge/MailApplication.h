#pragma once

#include "mailbridge/MailItem.h"
#include "mailbridge/compose/LineEnding.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

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

    // The largest message in bytes the outbox takes, when it knows one, so that a Send can be
    // refused before its first message goes. May ask a server; throws Failure then.
    virtual std::optional<std::uint64_t> messageSizeLimit() { return std::nullopt; }

    // An outbox that logs in to a server may lack the password; the window asks for it on its
    // own thread before the Send starts, and hands it over here.
    virtual bool needsPassword() const { return false; }
    // Asked during every wait on a server outside a message's Send (which obeys its own
    // monitor), so that a Send can be stopped while the outbox connects or asks questions.
    virtual void setCancelCheck(std::function<bool()>) {}
    virtual void setPassword(const QString &) {}
};
