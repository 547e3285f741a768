#pragma once

#include "common/Failure.h"

#include <QString>

// The message is in the outbox, yet a step after filing it failed (for instance making the
// filing durable): it must be counted as filed, or a retry would file it twice.
class FiledWithFailure : public Failure
{
public:
    // cancelled: the later step was stopped on request.
    explicit FiledWithFailure(const QString &description, bool cancelled = false)
        : Failure(description), m_cancelled(cancelled)
    {
    }
    bool cancelled() const { return m_cancelled; }

private:
    bool m_cancelled;
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
