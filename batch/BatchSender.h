#pragma once

#include "batch/PreparedSend.h"
#include "common/Failure.h"

#include <QStringList>

#include <functional>

class CancelToken;
class FileSystem;
class Outbox;
class SendProgress;

struct SendOutcome
{
    QStringList filedSubjects; // in the order filed
    // Messages that went whole to the outbox whose answer was then lost: neither filed nor
    // unsent, for the person to look for before sending them again.
    QStringList perhapsFiledSubjects;
};

// A Send that stopped once packing had begun, by a failure or a cancel. The description says
// why, then which messages were filed where (in the outbox's own words) and which ticked
// files did not go out, so the person can tick just those and send again.
class SendStopped : public Failure
{
public:
    // sent: the outbox sends messages on (Outbox::sendsOn), and the text says "sent through".
    SendStopped(const QString &reason, SendOutcome outcome, QStringList unsentFiles, bool cancelled,
                const QString &destination, bool sent = false);

    using Failure::description;
    // The same text with each subject and file name passed through shown, for an output
    // that must keep one name to a line.
    QString description(const std::function<QString(const QString &)> &shown) const;

    const QStringList &filedSubjects() const { return m_outcome.filedSubjects; }
    const QStringList &perhapsFiledSubjects() const { return m_outcome.perhapsFiledSubjects; }
    const QStringList &unsentFiles() const { return m_unsent; }
    bool cancelled() const { return m_cancelled; }

private:
    static QString describeStop(const QString &reason, const SendOutcome &outcome,
                                const QStringList &unsent, const QString &destination, bool sent,
                                const std::function<QString(const QString &)> &shown);

    QString m_reason;
    SendOutcome m_outcome;
    QStringList m_unsent;
    bool m_cancelled;
    QString m_destination;
    bool m_sent;
};

// Files the prepared split, message by message from its firstMessage (progress still hears
// of the whole plan and of each message by its index in it). The outbox first checks every
// message's size against its limit (nothing is created when one is too large). Throws SendStopped
// at the first failing step or when cancel is set: messages filed before it stay filed, the open
// one is dropped. Progress is told on the calling thread.
SendOutcome sendBatch(const PreparedSend &send, Outbox &mail, SendProgress &progress,
                      const CancelToken &cancel);

// Prepares the Send (prepareSend: Refusal when a check fails, SendStopped with nothing filed
// when a size cannot be read), then files it as above.
SendOutcome sendBatch(const SendRequest &request, Outbox &mail, const FileSystem &files,
                      SendProgress &progress, const CancelToken &cancel);
SendOutcome sendBatch(const SendRequest &request, Outbox &mail, const FileSystem &files);
