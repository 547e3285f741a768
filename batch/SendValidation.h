#pragma once

#include "batch/SendRequest.h"
#include "common/Failure.h"

#include <optional>

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

// The first entry check a Send fails, or nothing when it may go ahead.
std::optional<SendRefusal> refusalOf(const SendRequest &request);

// The message of the first entry check a Send fails, or nothing when it may go ahead.
std::optional<QString> refusalFor(const SendRequest &request);

// A refusal that names the control at fault.
class FieldRefusal : public Refusal
{
public:
    FieldRefusal(const QString &description, SendField field) : Refusal(description), m_field(field)
    {
    }
    SendField field() const { return m_field; }

private:
    SendField m_field;
};
