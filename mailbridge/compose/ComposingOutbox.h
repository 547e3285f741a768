#pragma once

#include "mailbridge/Outbox.h"

struct Attachment;

// An outbox that composes its messages here, and so can say their exact size beforehand.
class ComposingOutbox : public Outbox
{
public:
    // Composed as file() will compose it; only the stamp differs, and its parts are of fixed
    // length.
    std::uint64_t storedSize(const Draft &draft) const override;
    const MessageRules &messageRules() const override;
    // An outbox that sends on names the recipients of the To field.
    QString deliveredText(int messages, const QString &to) const override;

protected:
    // How storedSize inspects an attachment (inspectAttachment); an outbox may keep the result
    // for the drafts it files next.
    virtual Attachment inspectForSizing(const QString &path) const;
};
