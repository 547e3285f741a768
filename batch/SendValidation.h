#pragma once

#include "batch/SendRequest.h"
#include "common/Failure.h"

#include <optional>

class MessageRules;

// The control a refusal is about, so that the window can put the focus there.
enum class SendField
{
    Files,
    Sender,
    Recipient,
    Subject,
    Folder,
    Size
};

struct SendRefusal
{
    QString text;
    SendField field;
};

// The first entry check a Send fails, or nothing when it may go ahead. What the messages can
// carry is the outbox's to say (Outbox::messageRules).
std::optional<SendRefusal> refusalOf(const SendRequest &request, const MessageRules &rules);

// The message of the first entry check a Send fails, or nothing when it may go ahead.
std::optional<QString> refusalFor(const SendRequest &request, const MessageRules &rules);

// A refusal that names the control at fault; `planning` when it was found while planning the
// split, after every entry check had passed.
class FieldRefusal : public Refusal
{
public:
    FieldRefusal(const QString &description, SendField field, bool planning = false)
        : Refusal(description), m_field(field), m_planning(planning)
    {
    }
    SendField field() const { return m_field; }
    bool whilePlanning() const { return m_planning; }

private:
    SendField m_field;
    bool m_planning;
};

// A file that could not be sized while planning.
class PlanningFailure : public Failure
{
public:
    using Failure::Failure;
};

// The text of a refusal found while planning, saying that no message was filed: a person must
// not look for half a batch.
QString nothingFiledText(const QString &description);
