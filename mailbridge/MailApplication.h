#pragma once

#include "mailbridge/MailItem.h"

#include <memory>

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
};
