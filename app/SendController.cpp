#include "app/SendController.h"

#include "app/EventGuard.h"
#include "batch/BackgroundSend.h"
#include "batch/BatchSender.h"
#include "batch/SendRemainder.h"
#include "batch/SendSummary.h"
#include "common/CancelToken.h"
#include "common/Failure.h"
#include "common/ThreadHandOver.h"
#include "mailbridge/Outbox.h"
#include "mailbridge/password/PasswordResolution.h"

#include <QPointer>
#include <QTimer>

SendController::SendController(QObject *parent) : QObject(parent), m_progressDelay(new QTimer(this))
{
    m_progressDelay->setSingleShot(true);
    // A Send that ends sooner shows nothing, so short Sends look as they always did.
    m_progressDelay->setInterval(500);
    connect(m_progressDelay, &QTimer::timeout, this, [this] {
        if (m_send)
            emit progressDue();
    });
}

SendController::~SendController()
{
    if (m_send) {
        m_send->cancel();
        m_send->wait();
    }
    m_send.reset();
    if (m_limitCancel)
        m_limitCancel->cancel();
    std::shared_ptr<Outbox> old(std::move(m_outbox));
    if (old)
        runInBackground([old = std::move(old)]() mutable { old.reset(); });
}

void SendController::setOutbox(std::unique_ptr<Outbox> outbox, std::optional<QString> password)
{
    dropLimitQuestion();
    // Closing an outbox may log out from a server and wait on the network: that happens on
    // a worker, which the application waits for before it ends.
    std::shared_ptr<Outbox> old(std::move(m_outbox));
    m_outbox = std::move(outbox);
    // Its own turns: a question still stuck on the outbox before holds up nothing here.
    m_outboxUse = std::make_shared<std::mutex>();
    if (old)
        runInBackground([old = std::move(old)]() mutable { old.reset(); });
    if (m_outbox && password)
        m_outbox->setPassword(*password);
    askForLimit();
}

void SendController::setPassword(const QString &password)
{
    // The outbox is used by one thread at a time: no question may run while it changes.
    dropLimitQuestion();
    m_outbox->setPassword(password);
}

void SendController::dropLimitQuestion()
{
    if (m_limitCancel)
        m_limitCancel->cancel();
    m_limitCancel.reset();
    ++m_limitQuestion;
    m_limitAnswered = false;
    if (m_limit) {
        m_limit.reset();
        emit sizeLimitChanged();
    }
}

void SendController::askForLimit()
{
    dropLimitQuestion();
    // Without its password the outbox cannot log in; a Send that brings one asks again. The
    // keyring or a PasswordCommand is not asked for this: nobody pressed Send.
    if (!m_outbox || m_send || m_outbox->needsPassword())
        return;
    auto cancel = std::make_shared<CancelToken>();
    m_limitCancel = cancel;
    runInBackground([outbox = m_outbox, use = m_outboxUse, cancel, question = m_limitQuestion,
                     self = QPointer<SendController>(this)] {
        std::optional<std::uint64_t> limit;
        bool answered = false;
        {
            const std::lock_guard lock(*use);
            if (!cancel->cancelled()) {
                outbox->setCancelCheck([cancel] { return cancel->cancelled(); });
                try {
                    limit = outbox->messageSizeLimit();
                    answered = true;
                } catch (...) {
                    // Unknown, as for an outbox that has none; the Send asks again itself.
                }
                outbox->setCancelCheck({});
            }
        }
        runOnApplicationThread([self, question, answered, limit] {
            if (self)
                self->limitFound(question, answered, limit);
        });
    });
}

void SendController::limitFound(std::uint64_t question, bool answered,
                                std::optional<std::uint64_t> limit)
{
    // An answer about an outbox since replaced, or asked again, is not this one's.
    if (question != m_limitQuestion)
        return;
    m_limitCancel.reset();
    m_limitAnswered = answered;
    if (limit == m_limit)
        return;
    m_limit = limit;
    emit sizeLimitChanged();
}

void SendController::start(PreparedSend send, std::function<void(const CancelToken &)> preparation)
{
    if (m_send)
        return;
    m_send = std::make_unique<BackgroundSend>(std::move(send), *m_outbox);
    // A question about the limit still under way finishes first: the Send's worker waits for
    // it, this thread does not.
    m_send->setPreparation(
        [use = m_outboxUse, preparation = std::move(preparation)](const CancelToken &cancel) {
            {
                const std::lock_guard turn(*use);
            }
            if (preparation)
                preparation(cancel);
        });
    connect(m_send.get(), &BackgroundSend::finished, this, &SendController::onSendFinished);
    m_send->start();
    m_progressDelay->start();
}

void SendController::cancel()
{
    if (!m_send)
        return;
    m_send->cancel();
    // The Send waits for the question; it must not wait for a server that never answers.
    if (m_limitCancel)
        m_limitCancel->cancel();
}

void SendController::stopAndWait()
{
    if (!m_send)
        return;
    cancel();
    m_send->wait();
    onSendFinished();
}

void SendController::onSendFinished()
{
    if (!m_send)
        return;
    m_progressDelay->stop();
    // Deleted later: this may run inside one of its signals.
    BackgroundSend *send = m_send.release();
    send->deleteLater();
    const SendEnd end = endOf(*send);
    // A Send may have brought the password, or reached a server that could not be asked
    // before: ask again what is still unknown.
    if (!m_limitAnswered && !m_limitCancel)
        askForLimit();
    emit finished(end);
}

namespace {

// What is left to do, then why the Send stopped: the reason's first line comes last, as it
// often ends in a path that is kept whole on a line.
QString withReason(const QString &description, const QString &before)
{
    const QString reason = description.section(QLatin1Char('\n'), 0, 0);
    return before.isEmpty() ? reason : before + QStringLiteral(" ") + reason;
}

} // namespace

SendEnd SendController::endOf(BackgroundSend &send) const
{
    const Outbox &mail = *m_outbox;
    SendEnd end;
    try {
        end.summary = mail.deliveredText(int(send.result().filedSubjects.size()),
                                         send.prepared().request.recipient);
    } catch (const PasswordWanted &) {
        end.kind = SendEnd::Kind::PasswordWanted;
    } catch (const SendStopped &stopped) {
        const SendRemainder rest =
            remainderOf(send.prepared().plan,
                        SendOutcome{stopped.filedSubjects(), stopped.perhapsFiledSubjects()});
        end.untick = rest.filedFiles + rest.uncertainFiles;
        const QString text = sendRemainderText(rest, mail.sendsOn(), stopped.cancelled());
        if (stopped.cancelled()) {
            end.kind = SendEnd::Kind::Stopped;
            end.summary = text;
        } else {
            end.kind = SendEnd::Kind::Failed;
            end.summary = withReason(stopped.description(), text);
            end.failure = stopped.description();
        }
    } catch (const Failure &failure) {
        end.kind = SendEnd::Kind::Failed;
        end.summary = withReason(failure.description(), QString());
        end.failure = failure.description();
    } catch (...) {
        end.kind = SendEnd::Kind::Failed;
        end.failure = describeCurrentException();
        end.summary = withReason(end.failure, QString());
    }
    return end;
}
