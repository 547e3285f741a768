#include "batch/BatchSender.h"

#include "batch/SendProgress.h"
#include "common/CancelToken.h"
#include "common/FileNameCodec.h"
#include "mailbridge/Outbox.h"
#include "mailbridge/TransferMonitor.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

// Passes the outbox's reports on as the Send's progress, and the Send's cancel to the outbox.
class ProgressMonitor final : public TransferMonitor
{
public:
    ProgressMonitor(SendProgress &progress, const CancelToken &cancel)
        : m_progress(progress), m_cancel(cancel)
    {
    }
    void attachmentStarted(const QString &path) override
    {
        m_progress.fileStarted(displayFileName(QFileInfo(path).fileName()));
    }
    void attachmentBytes(std::int64_t n) override { m_progress.bytesDone(n); }
    bool cancelRequested() const override { return m_cancel.cancelled(); }

private:
    SendProgress &m_progress;
    const CancelToken &m_cancel;
};

QStringList filesFrom(const BatchPlan &plan, std::size_t firstMessage)
{
    QStringList names;
    for (std::size_t i = firstMessage; i < plan.messages.size(); ++i)
        for (const PlannedFile &file : plan.messages[i].files)
            names << displayFileName(file.name);
    return names;
}

QString plural(qsizetype n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString unchanged(const QString &text)
{
    return text;
}

class NoProgress final : public SendProgress
{
public:
    void planned(const BatchPlan &) override {}
    void fileStarted(const QString &) override {}
    void bytesDone(std::int64_t) override {}
    void messageFiled(int, const QString &) override {}
};

} // namespace

SendProgress &SendProgress::none()
{
    static NoProgress progress;
    return progress;
}

SendStopped::SendStopped(const QString &reason, SendOutcome outcome, QStringList unsentFiles,
                         bool cancelled, const QString &destination, bool sent)
    : Failure(describeStop(reason, outcome, unsentFiles, destination, sent, unchanged)),
      m_reason(reason), m_outcome(std::move(outcome)), m_unsent(std::move(unsentFiles)),
      m_cancelled(cancelled), m_destination(destination), m_sent(sent)
{
}

QString SendStopped::description(const std::function<QString(const QString &)> &shown) const
{
    return describeStop(m_reason, m_outcome, m_unsent, m_destination, m_sent, shown);
}

QString SendStopped::describeStop(const QString &reason, const SendOutcome &outcome,
                                  const QStringList &unsent, const QString &destination, bool sent,
                                  const std::function<QString(const QString &)> &shown)
{
    const QStringList &filed = outcome.filedSubjects;
    QString text = reason + QStringLiteral("\n\n");
    if (filed.isEmpty() && outcome.perhapsFiledSubjects.isEmpty()) {
        text += (sent ? QStringLiteral("Nothing was sent through %1.")
                      : QStringLiteral("Nothing was put into %1."))
                    .arg(destination);
    } else if (!filed.isEmpty()) {
        QStringList lines;
        for (const QString &subject : filed)
            lines << shown(subject);
        text += (sent ? QStringLiteral("Already sent through %1 (%2):\n%3")
                      : QStringLiteral("Already in %1 (%2):\n%3"))
                    .arg(destination, plural(filed.size(), "message", "messages"),
                         lines.join(QLatin1Char('\n')));
    }
    if (!outcome.perhapsFiledSubjects.isEmpty()) {
        QStringList lines;
        for (const QString &subject : outcome.perhapsFiledSubjects)
            lines << shown(subject);
        if (!filed.isEmpty())
            text += QStringLiteral("\n\n");
        // A sent message cannot be looked up where it went: only its copy or its recipient tell.
        text += (sent ? QStringLiteral("May have been sent through %1; look in your Sent folder "
                                       "or ask the recipient before sending it again:\n%2")
                      : QStringLiteral("Perhaps in %1; look there before sending it again:\n%2"))
                    .arg(destination, lines.join(QLatin1Char('\n')));
    }
    if (!unsent.isEmpty()) {
        QStringList names;
        for (const QString &name : unsent)
            names << shown(name);
        text += QStringLiteral("\n\nNot sent (%1): %2")
                    .arg(plural(unsent.size(), "file", "files"), names.join(QStringLiteral(", ")));
    }
    return text;
}

SendOutcome sendBatch(const PreparedSend &send, Outbox &mail, SendProgress &progress,
                      const CancelToken &cancel)
{
    const BatchPlan &plan = send.plan;
    const QString destination = mail.destination();
    const bool sent = mail.sendsOn();
    // The outbox may wait on a server before the first message (its folder, its limit).
    struct CancelWatch
    {
        Outbox &mail;
        ~CancelWatch() { mail.setCancelCheck({}); }
    } watch{mail};
    mail.setCancelCheck([&cancel] { return cancel.cancelled(); });
    const std::vector<Draft> drafts = draftsOf(send);
    const std::size_t first = std::min(send.firstMessage, drafts.size());
    try {
        mail.checkSizes({drafts.begin() + std::ptrdiff_t(first), drafts.end()});
    } catch (const SendCancelled &cancelled) {
        throw SendStopped(cancelled.description(), {}, {}, true, destination, sent);
    } catch (const Failure &failure) {
        throw SendStopped(failure.description(), {}, {}, false, destination, sent);
    }
    progress.planned(plan);

    ProgressMonitor monitor(progress, cancel);
    SendOutcome outcome;
    std::size_t index = first;
    const auto stop = [&](const QString &reason, bool cancelled) {
        throw SendStopped(reason, outcome, filesFrom(plan, index), cancelled, destination, sent);
    };
    for (; index < plan.messages.size(); ++index) {
        const PlannedMessage &message = plan.messages[index];
        try {
            if (cancel.cancelled())
                throw SendCancelled();
            try {
                mail.file(drafts[index], monitor);
            } catch (const FiledWithFailure &failure) {
                outcome.filedSubjects << message.subject;
                ++index;
                stop(failure.description(), failure.cancelled());
            } catch (const PerhapsFiled &perhaps) {
                // Neither filed nor unsent: its files are left out of both lists, and its
                // subject is named apart so that nobody files it again unawares.
                outcome.perhapsFiledSubjects << message.subject;
                ++index;
                stop(perhaps.description(), perhaps.cancelled());
            }
            outcome.filedSubjects << message.subject;
            progress.messageFiled(int(index), message.subject);
        } catch (const SendCancelled &cancelled) {
            stop(cancelled.description(), true);
        } catch (const SendStopped &) {
            throw;
        } catch (const Failure &failure) {
            stop(failure.description(), false);
        }
    }
    return outcome;
}

SendOutcome sendBatch(const SendRequest &request, Outbox &mail, const FileSystem &files,
                      SendProgress &progress, const CancelToken &cancel)
{
    PreparedSend send;
    try {
        send = prepareSend(request, files, mail.messageRules());
    } catch (const Refusal &) {
        throw;
    } catch (const Failure &failure) {
        throw SendStopped(failure.description(), {}, {}, false, mail.destination(), mail.sendsOn());
    }
    return sendBatch(send, mail, progress, cancel);
}

SendOutcome sendBatch(const SendRequest &request, Outbox &mail, const FileSystem &files)
{
    const CancelToken never;
    return sendBatch(request, mail, files, SendProgress::none(), never);
}
