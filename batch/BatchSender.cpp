#include "batch/BatchSender.h"

#include "batch/BatchPlan.h"
#include "batch/CancelToken.h"
#include "batch/ComposedSizes.h"
#include "batch/SendProgress.h"
#include "batch/SendValidation.h"
#include "common/FileNameCodec.h"
#include "mailbridge/MailApplication.h"
#include "mailbridge/TransferMonitor.h"

#include <QFileInfo>

#include <memory>

namespace {

std::unique_ptr<MailItem> openMessage(const SendRequest &request, MailApplication &mail)
{
    auto objMail = mail.CreateItem(MailApplication::olMailItem);
    objMail->setSubject(request.subjectPrefix);
    objMail->setTo(request.recipient);
    objMail->setFrom(request.sender);
    objMail->setDeleteAfterSubmit(true);
    return objMail;
}

void appendToSubject(MailItem &objMail, const QString &prefix, const QString &name)
{
    if (objMail.Subject() != prefix)
        objMail.setSubject(objMail.Subject() + QLatin1Char(','));
    objMail.setSubject(objMail.Subject() + displayFileName(name));
}

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

QString stoppedDescription(const QString &reason, const QStringList &filed,
                           const QStringList &unsent)
{
    QString text = reason + QStringLiteral("\n\n");
    if (filed.isEmpty())
        text += QStringLiteral("Nothing was put into the outbox.");
    else
        text += QStringLiteral("Already in the outbox (%1 %2):\n%3")
                    .arg(filed.size())
                    .arg(filed.size() == 1 ? QStringLiteral("message") : QStringLiteral("messages"),
                         filed.join(QLatin1Char('\n')));
    if (!unsent.isEmpty())
        text += QStringLiteral("\n\nNot sent (%1 %2): %3")
                    .arg(unsent.size())
                    .arg(unsent.size() == 1 ? QStringLiteral("file") : QStringLiteral("files"),
                         unsent.join(QStringLiteral(", ")));
    return text;
}

// An outbox that takes messages only up to a size (a server's APPENDLIMIT) gets none of a
// Send that has one message too large: the split is known, so is each message's exact size.
void checkSizeLimit(const BatchPlan &plan, const SendRequest &request, MailApplication &mail)
{
    const auto limit = mail.messageSizeLimit();
    if (!limit)
        return;
    const std::vector<std::uint64_t> sizes = composedSizes(plan, request);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] <= *limit)
            continue;
        QStringList names;
        for (const PlannedFile &file : plan.messages[i].files)
            names << displayFileName(file.name);
        throw Failure(QStringLiteral("The message \"%1\" (%2) would be %3 bytes as mail, more "
                                     "than the %4 bytes %5 takes. Lower the maximum message "
                                     "size, or send those files another way.")
                          .arg(plan.messages[i].subject, names.join(QStringLiteral(", ")))
                          .arg(sizes[i])
                          .arg(*limit)
                          .arg(mail.destination()));
    }
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

SendStopped::SendStopped(const QString &reason, QStringList filedSubjects, QStringList unsentFiles,
                         bool cancelled)
    : Failure(stoppedDescription(reason, filedSubjects, unsentFiles)),
      m_filed(std::move(filedSubjects)), m_unsent(std::move(unsentFiles)), m_cancelled(cancelled)
{
}

SendOutcome sendBatch(const SendRequest &request, MailApplication &mail, const FileSystem &files,
                      SendProgress &progress, const CancelToken &cancel)
{
    if (const auto refusal = refusalFor(request))
        throw Refusal(*refusal);
    // The outbox may wait on a server before the first message (its folder, its limit).
    struct CancelWatch
    {
        MailApplication &mail;
        ~CancelWatch() { mail.setCancelCheck({}); }
    } watch{mail};
    mail.setCancelCheck([&cancel] { return cancel.cancelled(); });
    BatchPlan plan;
    try {
        plan = planBatch(request, files);
        checkSizeLimit(plan, request, mail);
    } catch (const SendCancelled &cancelled) {
        throw SendStopped(cancelled.description(), {}, {}, true);
    } catch (const Failure &failure) {
        throw SendStopped(failure.description(), {}, {}, false);
    }
    progress.planned(plan);

    ProgressMonitor monitor(progress, cancel);
    SendOutcome outcome;
    std::size_t index = 0;
    const auto stop = [&](const QString &reason, bool cancelled) {
        throw SendStopped(reason, outcome.filedSubjects, filesFrom(plan, index), cancelled);
    };
    for (; index < plan.messages.size(); ++index) {
        try {
            if (cancel.cancelled())
                throw SendCancelled();
            const auto objMail = openMessage(request, mail);
            for (const PlannedFile &file : plan.messages[index].files) {
                appendToSubject(*objMail, request.subjectPrefix, file.name);
                objMail->addAttachment(file.path);
            }
            // The item is spent once sent, so the subject comes from the plan, which built
            // the same text.
            const QString &subject = plan.messages[index].subject;
            try {
                objMail->Send(monitor);
            } catch (const FiledWithFailure &failure) {
                outcome.filedSubjects << subject;
                ++index;
                stop(failure.description(), false);
            } catch (const PerhapsFiled &perhaps) {
                // Neither filed nor unsent: its files are left out of both lists.
                ++index;
                stop(perhaps.description(), perhaps.cancelled());
            }
            outcome.filedSubjects << subject;
            progress.messageFiled(int(index), subject);
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

SendOutcome sendBatch(const SendRequest &request, MailApplication &mail, const FileSystem &files)
{
    const CancelToken never;
    return sendBatch(request, mail, files, SendProgress::none(), never);
}
