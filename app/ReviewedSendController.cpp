#include "app/ReviewedSendController.h"

#include "app/EventGuard.h"
#include "common/CancelToken.h"
#include "common/Failure.h"
#include "common/SendCancelled.h"
#include "common/ThreadHandOver.h"
#include "mailbridge/password/PasswordResolution.h"

#include <QPointer>
#include <QTimer>

#include <mutex>

namespace {

QString quoted(const QStringList &subjects)
{
    QStringList all;
    for (const QString &subject : subjects)
        all << QStringLiteral("\"%1\"").arg(subject);
    return all.join(QStringLiteral(", "));
}

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}

ReviewedSendEnd failedEnd(const QString &description, const QString &before)
{
    return {ReviewedSendEnd::Kind::Failed, before + firstLine(description), description};
}

} // namespace

ReviewedSendEnd reviewedSendEnd(const ReviewedSendOutcome &outcome)
{
    ReviewedSendEnd end;
    end.summary = outcome.summary();
    end.kind = outcome.cancelled           ? ReviewedSendEnd::Kind::Stopped
               : outcome.failure.isEmpty() ? ReviewedSendEnd::Kind::Sent
                                           : ReviewedSendEnd::Kind::Failed;
    QStringList box;
    // A cancel is no failure to show; what it left uncertain is.
    if (end.kind == ReviewedSendEnd::Kind::Failed)
        box << outcome.failure;
    if (!outcome.perhapsSent.isEmpty())
        box << QStringLiteral("May have been sent: %1. Later runs leave such a draft alone: look "
                              "in Sent or ask the recipients before sending it again.")
                   .arg(quoted(outcome.perhapsSent));
    if (!outcome.warnings.isEmpty())
        box << QStringLiteral("Sent, then:\n%1").arg(outcome.warnings.join(QLatin1Char('\n')));
    end.box = box.join(QStringLiteral("\n\n"));
    return end;
}

ReviewedSendEnd nothingToSendEnd(const ReviewPlan &plan, const QString &folder)
{
    QStringList lines{QStringLiteral("No drafts of Ferrymail's Sends are in %1.").arg(folder)};
    // The plan's own words for what it left alone follow its first line.
    if (const QString alone = plan.preview().section(QLatin1Char('\n'), 1); !alone.isEmpty())
        lines << alone;
    return {ReviewedSendEnd::Kind::NothingToSend, lines.join(QLatin1Char('\n')), QString()};
}

// One run, shared with its worker: the app's thread and the worker take turns on it.
struct ReviewedSendController::Run
{
    enum class Stage
    {
        Planning,
        Asking,
        Sending,
    };
    Stage stage = Stage::Planning; // the window's thread only
    CancelToken cancel;
    mutable std::mutex lock;
    // Under lock.
    ReviewedSendStatus status;
    std::shared_ptr<ReviewedSendAccount> parts;
    std::optional<ReviewPlan> plan; // drafts to send, once listed
    std::optional<ReviewedSendEnd> end;

    void setEnd(ReviewedSendEnd value)
    {
        const std::lock_guard hold(lock);
        end = std::move(value);
    }
};

namespace {

// Keeps the run's figures where the progress window polls them.
class StatusProgress final : public ReviewedSendProgress
{
public:
    StatusProgress(std::mutex &lock, ReviewedSendStatus &status) : m_lock(lock), m_status(status) {}
    void draftStarted(int index, int count, const QString &subject, std::uint64_t) override
    {
        const std::lock_guard hold(m_lock);
        m_status.draft = index + 1;
        m_status.drafts = count;
        m_status.subject = subject;
    }
    void bytesDone(std::uint64_t n) override
    {
        const std::lock_guard hold(m_lock);
        m_status.bytesDone += n;
    }
    void draftSent(int) override {}

private:
    std::mutex &m_lock;
    ReviewedSendStatus &m_status;
};

} // namespace

ReviewedSendController::ReviewedSendController(QObject *parent)
    : QObject(parent), m_progressDelay(new QTimer(this))
{
    m_progressDelay->setSingleShot(true);
    // As for a Send: what ends sooner shows nothing.
    m_progressDelay->setInterval(500);
    connect(m_progressDelay, &QTimer::timeout, this, [this] {
        if (m_run && m_run->stage != Run::Stage::Asking)
            emit progressDue();
    });
}

ReviewedSendController::~ReviewedSendController()
{
    if (m_run)
        m_run->cancel.cancel();
    if (m_worker.joinable())
        m_worker.join();
    if (m_run)
        endRun();
}

bool ReviewedSendController::isSending() const
{
    return m_run && m_run->stage == Run::Stage::Sending;
}

ReviewedSendStatus ReviewedSendController::status() const
{
    if (!m_run)
        return {};
    const std::lock_guard hold(m_run->lock);
    return m_run->status;
}

void ReviewedSendController::plan(PartsFactory factory)
{
    if (m_run)
        return;
    m_run = std::make_shared<Run>();
    startWorker([run = m_run, factory = std::move(factory), password = m_password] {
        const auto cancelled = [run] { return run->cancel.cancelled(); };
        try {
            auto parts = std::make_shared<ReviewedSendAccount>(factory(password, cancelled));
            {
                const std::lock_guard hold(run->lock);
                run->parts = parts;
            }
            parts->folder->setCancelCheck(cancelled);
            ReviewPlan plan = planReviewedSend(*parts->folder, parts->filed->of(parts->account));
            if (plan.drafts.empty()) {
                run->setEnd(nothingToSendEnd(plan, parts->folder->destination()));
                return;
            }
            const std::lock_guard hold(run->lock);
            run->plan = std::move(plan);
        } catch (const PasswordWanted &wanted) {
            run->setEnd({ReviewedSendEnd::Kind::PasswordWanted, QString(), wanted.description()});
        } catch (const SendCancelled &) {
            run->setEnd({ReviewedSendEnd::Kind::Stopped,
                         QStringLiteral("Cancelled: nothing was sent."), QString()});
        } catch (...) {
            run->setEnd(
                failedEnd(describeCurrentException(), QStringLiteral("Nothing was sent: ")));
        }
    });
}

void ReviewedSendController::send()
{
    if (!m_run || m_run->stage != Run::Stage::Asking)
        return;
    m_run->stage = Run::Stage::Sending;
    {
        const std::lock_guard hold(m_run->lock);
        m_run->status.sending = true;
        m_run->status.drafts = int(m_run->plan->drafts.size());
        m_run->status.bytesTotal = m_run->plan->totalBytes();
    }
    startWorker([run = m_run] {
        std::shared_ptr<ReviewedSendAccount> parts;
        const ReviewPlan *plan = nullptr;
        {
            const std::lock_guard hold(run->lock);
            parts = run->parts;
            plan = &*run->plan;
        }
        const auto cancelled = [run] { return run->cancel.cancelled(); };
        parts->folder->setCancelCheck(cancelled);
        parts->submission->setCancelCheck(cancelled);
        StatusProgress progress(run->lock, run->status);
        try {
            run->setEnd(reviewedSendEnd(
                sendReviewedDrafts(*plan, *parts->folder, *parts->submission, *parts->filed,
                                   parts->account, parts->keepCopies, progress, run->cancel)));
        } catch (const SendCancelled &) {
            run->setEnd({ReviewedSendEnd::Kind::Stopped, QStringLiteral("Cancelled."), QString()});
        } catch (...) {
            run->setEnd(failedEnd(describeCurrentException(), QString()));
        }
    });
}

void ReviewedSendController::dropPlan()
{
    if (m_run && m_run->stage == Run::Stage::Asking)
        endRun();
}

void ReviewedSendController::cancel()
{
    if (m_run)
        m_run->cancel.cancel();
}

void ReviewedSendController::stopAndWait()
{
    if (!m_run)
        return;
    cancel();
    if (m_run->stage == Run::Stage::Asking) {
        endRun();
        return;
    }
    workerDone();
}

void ReviewedSendController::startWorker(std::function<void()> work)
{
    m_progressDelay->start();
    m_worker = std::thread([work = std::move(work), run = m_run,
                            self = QPointer<ReviewedSendController>(this)]() mutable {
        work();
        // The run it belongs to may have ended since (stopAndWait), or the controller gone.
        runOnApplicationThread([self, run = std::move(run)] {
            if (self && self->m_run == run)
                self->workerDone();
        });
    });
}

void ReviewedSendController::workerDone()
{
    if (m_worker.joinable())
        m_worker.join();
    m_progressDelay->stop();
    std::optional<ReviewedSendEnd> end;
    QString preview;
    {
        const std::lock_guard hold(m_run->lock);
        end = m_run->end;
        if (!end && m_run->plan)
            preview = m_run->plan->preview();
    }
    // Listed and then cancelled before the question: nothing went.
    if (!end && m_run->cancel.cancelled())
        end = ReviewedSendEnd{ReviewedSendEnd::Kind::Stopped,
                              QStringLiteral("Cancelled: nothing was sent."), QString()};
    if (end) {
        endRun();
        emit finished(*end);
        return;
    }
    m_run->stage = Run::Stage::Asking;
    emit planned(preview);
}

void ReviewedSendController::endRun()
{
    std::shared_ptr<ReviewedSendAccount> parts;
    {
        const std::lock_guard hold(m_run->lock);
        parts = std::move(m_run->parts);
    }
    m_run.reset();
    m_progressDelay->stop();
    // Closing the parts may log out from the servers: on a worker the application waits for.
    if (parts)
        runInBackground([parts = std::move(parts)]() mutable { parts.reset(); });
}
