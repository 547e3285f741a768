#pragma once

#include "mailbridge/review/MessageSubmission.h"
#include "mailbridge/review/ReviewedSend.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QTimer;

// How a run of review-then-send ended, in the words the main window shows.
struct ReviewedSendEnd
{
    enum class Kind
    {
        Sent,           // every planned draft went, perhaps with warnings in `box`
        NothingToSend,  // none of this machine's drafts are in the folder
        Stopped,        // cancelled on request
        Failed,         // `box` holds the failure
        PasswordWanted, // nothing went: the account needs a password nobody gave yet
    };
    Kind kind = Kind::Sent;
    // The line under the list and the desktop's notification.
    QString summary;
    // A failure, what may have been sent and warnings, for a box; empty when all is said.
    QString box;
};

// In words: what went, what may have, and why the run stopped.
ReviewedSendEnd reviewedSendEnd(const ReviewedSendOutcome &outcome);
// In words: a plan without a draft to send, and what it left alone.
ReviewedSendEnd nothingToSendEnd(const ReviewPlan &plan, const QString &folder);

// Where a run is, for a progress window to poll from the window's thread.
struct ReviewedSendStatus
{
    bool sending = false; // false while the folder is listed
    int draft = 0;        // from 1, once the first has started
    int drafts = 0;
    QString subject;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

// Review-then-send behind the main window, without a widget: makes the parts and lists the
// folder on a worker, hands the plan over for the person's yes, sends on a worker and words how
// it ended. Network, keyring and PasswordCommand are reached on the worker only.
class ReviewedSendController : public QObject
{
    Q_OBJECT

public:
    // Makes the parts, on the worker, with the password typed for the account, if any; throws
    // PasswordWanted when the account needs one that nobody has.
    using PartsFactory = std::function<ReviewedSendAccount(const std::optional<QString> &password,
                                                           const std::function<bool()> &cancelled)>;

    explicit ReviewedSendController(QObject *parent = nullptr);
    // Cancels a run and waits for its worker.
    ~ReviewedSendController() override;

    // Lists the drafts folder: planned() when some drafts are to go, else finished().
    void plan(PartsFactory factory);
    // After planned(): sends the planned drafts; finished() follows.
    void send();
    // After planned(): sends nothing and ends the run without a word.
    void dropPlan();
    void cancel();
    // Cancels, waits for the worker and tells the end at once.
    void stopAndWait();

    // From plan() until finished() or dropPlan().
    bool isBusy() const { return bool(m_run); }
    // Drafts may be going out.
    bool isSending() const;
    ReviewedSendStatus status() const;
    // The password typed for the account; kept for the next runs.
    void setPassword(std::optional<QString> password) { m_password = std::move(password); }

signals:
    // The worker has run long enough for its progress to be worth showing.
    void progressDue();
    // The plan's own words, for the person's yes.
    void planned(const QString &preview);
    // The run has ended; isBusy() is false from here on.
    void finished(const ReviewedSendEnd &end);

private:
    struct Run;
    void startWorker(std::function<void()> work);
    void workerDone();
    void endRun();

    std::optional<QString> m_password;
    std::shared_ptr<Run> m_run;
    std::thread m_worker;
    QTimer *m_progressDelay = nullptr;
};
