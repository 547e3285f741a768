#include "batch/BackgroundSend.h"

#include "mailbridge/Outbox.h"
#include "mailbridge/TransferMonitor.h"

#include <QThread>

BackgroundSend::BackgroundSend(PreparedSend send, Outbox &mail, QObject *parent)
    : QObject(parent), m_send(std::move(send)), m_mail(mail)
{
}

BackgroundSend::~BackgroundSend()
{
    if (m_thread) {
        m_cancel.cancel();
        m_thread->wait();
    }
    // What the worker handed over is released here, after its hand-over.
    const std::lock_guard lock(m_resultLock);
}

void BackgroundSend::setPreparation(std::function<void(const CancelToken &)> preparation)
{
    m_preparation = std::move(preparation);
}

void BackgroundSend::start()
{
    m_clock.start();
    m_thread.reset(QThread::create([this] {
        // Everything the worker writes is read by the caller only after finished().
        SendOutcome outcome;
        std::exception_ptr error;
        try {
            if (m_preparation) {
                try {
                    m_preparation(m_cancel);
                } catch (const SendCancelled &cancelled) {
                    throw SendStopped(cancelled.description(), {}, {}, true, m_mail.destination());
                }
            }
            outcome = sendBatch(m_send, m_mail, m_status, m_cancel);
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(m_resultLock);
        m_outcome = std::move(outcome);
        m_error = std::move(error);
    }));
    // Emitted by the worker as it ends; delivered on this object's own thread.
    connect(m_thread.get(), &QThread::finished, this, &BackgroundSend::finished,
            Qt::QueuedConnection);
    m_thread->start();
}

void BackgroundSend::cancel()
{
    m_cancel.cancel();
}

void BackgroundSend::wait()
{
    if (m_thread)
        m_thread->wait();
}

bool BackgroundSend::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

double BackgroundSend::elapsedSeconds() const
{
    return m_clock.isValid() ? double(m_clock.nsecsElapsed()) / 1e9 : 0.0;
}

SendOutcome BackgroundSend::result() const
{
    const std::lock_guard lock(m_resultLock);
    if (m_error)
        std::rethrow_exception(m_error);
    return m_outcome;
}
