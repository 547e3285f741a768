#pragma once

#include "batch/BatchSender.h"
#include "batch/SendStatus.h"
#include "common/CancelToken.h"

#include <QElapsedTimer>
#include <QObject>

#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// One Send on a thread of its own, so the caller's thread stays free to repaint and answer.
// The caller polls status() and learns the end from finished(), on its own thread.
class BackgroundSend : public QObject
{
    Q_OBJECT

public:
    // The Send was prepared (checked and planned) on the caller's thread. The outbox must
    // outlive the Send; the worker uses it only while it runs.
    BackgroundSend(PreparedSend send, Outbox &mail, QObject *parent = nullptr);
    // Cancels a Send still running and waits for its end.
    ~BackgroundSend() override;

    // Work the worker does before the Send, such as running a PasswordCommand; it sees the
    // same cancel. Set before start().
    void setPreparation(std::function<void(const CancelToken &cancel)> preparation);
    void start();
    // Asks the Send to stop as soon as it can; finished() still follows.
    void cancel();
    bool cancelRequested() const { return m_cancel.cancelled(); }
    // Blocks until the worker has ended.
    void wait();
    bool isRunning() const;

    // The Send as prepared: its plan, for telling what of it went.
    const PreparedSend &prepared() const { return m_send; }
    SendStatus::Snapshot status() const { return m_status.snapshot(); }
    double elapsedSeconds() const;
    // Once finished: the outcome, or the Send's exception (Refusal, Failure, SendStopped).
    SendOutcome result() const;

signals:
    void finished();

private:
    PreparedSend m_send;
    Outbox &m_mail;
    std::function<void(const CancelToken &)> m_preparation;
    CancelToken m_cancel;
    SendStatus m_status;
    QElapsedTimer m_clock;
    std::unique_ptr<QThread> m_thread;
    // The worker's end is told through Qt's queue; this lock orders the hand-over itself,
    // where every thread checker sees it.
    mutable std::mutex m_resultLock;
    SendOutcome m_outcome;
    std::exception_ptr m_error;
};
