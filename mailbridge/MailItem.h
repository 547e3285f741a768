#pragma once

#include "common/Failure.h"

#include <QString>

class TransferMonitor;

// One unsent message, shaped after the mail-item object of desktop mail automation so that
// a bridge to such a client stays a thin adapter. Every operation throws Failure on error.
class MailItem
{
public:
    virtual ~MailItem() = default;

    // Exactly the text last written, unaltered.
    virtual QString Subject() const = 0;
    virtual void setSubject(const QString &subject) = 0;
    // The recipient text as typed in a mail client's To field.
    virtual void setTo(const QString &recipients) = 0;
    virtual void setFrom(const QString &sender) = 0;
    virtual void setDeleteAfterSubmit(bool deleteAfterSubmit) = 0;
    // Attachments.Add with the source path alone; fails at once for a path that is not
    // a readable regular file.
    virtual void addAttachment(const QString &sourcePath) = 0;
    // Submits the message to the client's outbox, reporting to and obeying the monitor
    // while it writes. The item is spent afterwards. Throws SendCancelled when the monitor
    // asked to stop (nothing of the message is left), FiledWithFailure when the message
    // reached the outbox but a later step failed, Failure when it did not reach it.
    virtual void Send(TransferMonitor &monitor) = 0;
    void Send();
};

// The message is in the outbox, yet a step after filing it failed (for instance making the
// filing durable): it must be counted as filed, or a retry would file it twice.
class FiledWithFailure : public Failure
{
public:
    using Failure::Failure;
};

// All of the message went to the outbox, whose answer was then lost, and it could not be
// asked afterwards: the message may be there or not. Claiming either could lose it or file
// it twice, so the person is told to look.
class PerhapsFiled : public Failure
{
public:
    // cancelled: the wait for the answer was given up on request.
    explicit PerhapsFiled(const QString &description, bool cancelled = false)
        : Failure(description), m_cancelled(cancelled)
    {
    }
    bool cancelled() const { return m_cancelled; }

private:
    bool m_cancelled;
};
