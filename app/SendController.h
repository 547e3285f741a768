#pragma once

#include "batch/PreparedSend.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class BackgroundSend;
class CancelToken;
class Outbox;
class QTimer;

// How a Send ended, in the words the main window shows.
struct SendEnd
{
    enum class Kind
    {
        Done,           // every message went
        Stopped,        // cancelled on request
        Failed,         // a failure: `failure` holds the whole text for a box
        PasswordWanted, // nothing went: the outbox needs a password nobody gave yet
    };
    Kind kind = Kind::Done;
    // The line under the list and the desktop's notification: "4 messages in the outbox folder …".
    QString summary;
    QString failure;
    // The files whose messages went or may have gone: unticked, so that Send sends the rest.
    QStringList untick;
};

// The Send behind the main window, without a widget: owns the outbox, the running Send and its
// progress delay, asks the outbox for its size limit on a worker, and words how a Send ended.
class SendController : public QObject
{
    Q_OBJECT

public:
    explicit SendController(QObject *parent = nullptr);
    // Stops a running Send and waits for its worker, which uses the outbox.
    ~SendController() override;

    // The outbox of the next Sends, with the password the person typed for it, if any. The
    // outbox before is closed on a worker (it may log out from a server). Its size limit is
    // asked for on a worker; until the answer comes, none is known.
    void setOutbox(std::unique_ptr<Outbox> outbox, std::optional<QString> password = {});
    bool hasOutbox() const { return bool(m_outbox); }
    Outbox &outbox() const { return *m_outbox; }
    // The largest message the outbox takes, once it said; nothing while unknown or when its
    // server could not be asked.
    std::optional<std::uint64_t> sizeLimit() const { return m_limit; }
    // A password asked of the person after a Send wanted one; the limit is asked again.
    void setPassword(const QString &password);

    // Starts the prepared Send on a worker; `preparation` runs there first (a PasswordCommand).
    void start(PreparedSend send, std::function<void(const CancelToken &)> preparation = {});
    bool isSending() const { return m_send != nullptr; }
    BackgroundSend *send() const { return m_send.get(); }
    void cancel();
    // Cancels a running Send, waits for its worker and tells its end at once.
    void stopAndWait();

signals:
    // The Send has run long enough for its progress to be worth showing.
    void progressDue();
    // The Send has ended; isSending() is false from here on.
    void finished(const SendEnd &end);
    void sizeLimitChanged();

private:
    void onSendFinished();
    SendEnd endOf(BackgroundSend &send) const;
    void askForLimit();
    // answered: the outbox said (perhaps that it has no limit), rather than failed to.
    void limitFound(std::uint64_t question, bool answered, std::optional<std::uint64_t> limit);
    void dropLimitQuestion();

    // Held by every worker while it uses the outbox: the limit's question and a Send's start
    // take turns on it, as the outbox is made for one thread at a time. One per outbox.
    std::shared_ptr<std::mutex> m_outboxUse = std::make_shared<std::mutex>();
    std::shared_ptr<Outbox> m_outbox;
    std::optional<std::uint64_t> m_limit;
    // The outbox said what it takes: it is not asked again.
    bool m_limitAnswered = false;
    // The question in flight: its cancel, and its number, so that a late answer about an
    // outbox since replaced is dropped.
    std::shared_ptr<CancelToken> m_limitCancel;
    std::uint64_t m_limitQuestion = 0;
    std::unique_ptr<BackgroundSend> m_send;
    QTimer *m_progressDelay = nullptr;
};
