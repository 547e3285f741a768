#pragma once

#include "batch/SendRequest.h"
#include "common/Failure.h"

#include <QStringList>

class CancelToken;
class FileSystem;
class MailApplication;
class SendProgress;

struct SendOutcome
{
    QStringList filedSubjects; // in the order filed
};

// A Send that stopped once packing had begun, by a failure or a cancel. The description says
// why, then which messages were filed and which ticked files did not go out, so the person
// can tick just those and send again.
class SendStopped : public Failure
{
public:
    SendStopped(const QString &reason, QStringList filedSubjects, QStringList unsentFiles,
                bool cancelled);

    const QStringList &filedSubjects() const { return m_filed; }
    const QStringList &unsentFiles() const { return m_unsent; }
    bool cancelled() const { return m_cancelled; }

private:
    QStringList m_filed;
    QStringList m_unsent;
    bool m_cancelled;
};

// Packs the ticked files, in list order, into consecutive messages: a message closes as soon
// as the sizes of its files reach the limit. The split is worked out first, so every size is
// known before anything is created. Throws Refusal when an entry check fails and Failure when
// planning fails (nothing is created in either case), SendStopped at the first failing step
// after that or when cancel is set: messages filed before it stay filed, the open one is
// dropped. Progress is told on the calling thread.
SendOutcome sendBatch(const SendRequest &request, MailApplication &mail, const FileSystem &files,
                      SendProgress &progress, const CancelToken &cancel);
SendOutcome sendBatch(const SendRequest &request, MailApplication &mail, const FileSystem &files);
