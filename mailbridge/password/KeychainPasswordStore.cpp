#include "mailbridge/password/KeychainPasswordStore.h"

#include "common/Failure.h"
#include "common/ThreadHandOver.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>

#undef signals // GLib uses the word
#include <gio/gio.h>
#define signals Q_SIGNALS

#include <future>
#include <memory>
#include <mutex>

namespace {

const QString service = QStringLiteral("Ferrymail");

struct Outcome
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString password;
};

// The keyring's connection to the session bus is GLib's shared one, which by default ends the
// program with SIGTERM when the bus goes away. This thread's loop would see that at once, in
// the middle of a Send; the keyring then answers "not reachable" instead.
// Held for the thread's life: the shared connection lives only while someone holds it.
using BusConnection = std::unique_ptr<GDBusConnection, decltype(&g_object_unref)>;

BusConnection keepRunningWhenTheBusCloses()
{
    BusConnection bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr), &g_object_unref);
    if (bus)
        g_dbus_connection_set_exit_on_close(bus.get(), false);
    return bus;
}

// The keyring's thread: started at first use, ended before the application object goes,
// which the keyring's D-Bus needs.
class KeyringThread
{
public:
    KeyringThread()
    {
        m_thread.setObjectName(QStringLiteral("keyring"));
        m_context.moveToThread(&m_thread);
        m_thread.start();
        runOnThreadOf(&m_context, [this] { m_bus = keepRunningWhenTheBusCloses(); });
    }
    ~KeyringThread() { stop(); }
    void stop()
    {
        m_thread.quit();
        m_thread.wait();
        m_bus.reset();
    }
    QObject *context() { return &m_context; }

private:
    QThread m_thread;
    QObject m_context;
    BusConnection m_bus{nullptr, &g_object_unref};
};

std::mutex keyringLock;
std::unique_ptr<KeyringThread> keyringThread;

QObject *keyringContext()
{
    const std::lock_guard lock(keyringLock);
    if (!keyringThread) {
        keyringThread = std::make_unique<KeyringThread>();
        qAddPostRoutine([] {
            const std::lock_guard ending(keyringLock);
            keyringThread.reset();
        });
    }
    return keyringThread->context();
}

// Starts job on the keyring's thread and calls done there with its outcome, or with an
// unfinished one after timeout. The job deletes itself when it ends, also after a timeout.
void runJob(std::function<QKeychain::Job *()> makeJob, std::chrono::milliseconds timeout,
            std::function<void(const Outcome &)> done)
{
    runOnThreadOf(
        keyringContext(), [makeJob = std::move(makeJob), timeout, done = std::move(done)] {
            QKeychain::Job *job = makeJob();
            job->setAutoDelete(true);
            auto answered = std::make_shared<bool>(false);
            auto *watch = new QTimer(job);
            watch->setSingleShot(true);
            QObject::connect(watch, &QTimer::timeout, [answered, done] {
                if (!*answered) {
                    *answered = true;
                    done(Outcome{});
                }
            });
            QObject::connect(job, &QKeychain::Job::finished, [answered, done](QKeychain::Job *j) {
                if (*answered)
                    return;
                *answered = true;
                Outcome outcome{true, j->error(), j->errorString(), {}};
                if (auto *reading = qobject_cast<QKeychain::ReadPasswordJob *>(j))
                    outcome.password = reading->textData();
                done(outcome);
            });
            watch->start(timeout);
            job->start();
        });
}

// Runs the job and waits for its outcome on the caller's thread, which is not the keyring's.
Outcome runAndWait(std::function<QKeychain::Job *()> makeJob, std::chrono::milliseconds timeout)
{
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> result = promise->get_future();
    runJob(std::move(makeJob), timeout,
           [promise](const Outcome &outcome) { promise->set_value(outcome); });
    // The job's own timeout runs there; this one also covers the wait to get there.
    if (result.wait_for(timeout + std::chrono::seconds(2)) != std::future_status::ready)
        return {};
    return result.get();
}

// Hands done its answer on the window's thread, unless receiver has gone by then.
template <typename Answer>
void answerOn(QPointer<QObject> receiver, std::function<void(const Answer &)> done, Answer answer)
{
    runOnApplicationThread(
        [receiver = std::move(receiver), done = std::move(done), answer = std::move(answer)] {
            if (receiver)
                done(answer);
        });
}

QString reason(const Outcome &outcome)
{
    return outcome.finished ? outcome.errorText : QStringLiteral("the keyring did not answer");
}

PasswordLookup lookupOf(const Outcome &outcome)
{
    if (!outcome.finished)
        return {std::nullopt, reason(outcome)};
    switch (outcome.error) {
    case QKeychain::NoError:
        return {outcome.password.isEmpty() ? std::nullopt : std::optional(outcome.password), {}};
    case QKeychain::EntryNotFound:
        return {};
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::CouldNotDeleteEntry:
        break;
    }
    return {std::nullopt, outcome.errorText.isEmpty()
                              ? QStringLiteral("no keyring could be reached")
                              : outcome.errorText};
}

QString writeFailure(const QString &key, const Outcome &outcome)
{
    if (outcome.finished && outcome.error == QKeychain::NoError)
        return {};
    return QStringLiteral("Cannot keep the password for %1 in the keyring: %2. Set a "
                          "PasswordCommand instead, or enter it at each Send.")
        .arg(key, reason(outcome));
}

std::function<QKeychain::Job *()> reading(const QString &key)
{
    return [key] {
        auto *job = new QKeychain::ReadPasswordJob(service);
        job->setKey(key);
        return job;
    };
}

std::function<QKeychain::Job *()> writing(const QString &key, const QString &password)
{
    return [key, password] {
        auto *job = new QKeychain::WritePasswordJob(service);
        job->setKey(key);
        job->setTextData(password);
        return job;
    };
}

} // namespace

KeychainPasswordStore::KeychainPasswordStore(std::chrono::milliseconds timeout) : m_timeout(timeout)
{
}

PasswordLookup KeychainPasswordStore::lookUp(const QString &key)
{
    return lookupOf(runAndWait(reading(key), m_timeout));
}

std::optional<QString> KeychainPasswordStore::read(const QString &key)
{
    // No keyring, a locked one the user would not open, no entry: all mean "ask elsewhere".
    return lookUp(key).password;
}

void KeychainPasswordStore::write(const QString &key, const QString &password)
{
    if (const QString failure = writeFailure(key, runAndWait(writing(key, password), m_timeout));
        !failure.isEmpty())
        throw Failure(failure);
}

void KeychainPasswordStore::remove(const QString &key)
{
    const Outcome outcome = runAndWait(
        [key] {
            auto *job = new QKeychain::DeletePasswordJob(service);
            job->setKey(key);
            return job;
        },
        m_timeout);
    if (!outcome.finished ||
        (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound))
        throw Failure(QStringLiteral("Cannot remove the password for %1 from the keyring: %2.")
                          .arg(key, reason(outcome)));
}

void KeychainPasswordStore::lookUpLater(const QString &key, QObject *context,
                                        std::function<void(const PasswordLookup &)> done)
{
    QPointer<QObject> receiver(context);
    runJob(reading(key), m_timeout, [receiver, done = std::move(done)](const Outcome &outcome) {
        answerOn<PasswordLookup>(receiver, done, lookupOf(outcome));
    });
}

void KeychainPasswordStore::writeLater(const QString &key, const QString &password,
                                       QObject *context,
                                       std::function<void(const QString &failure)> done)
{
    QPointer<QObject> receiver(context);
    runJob(writing(key, password), m_timeout,
           [receiver, key, done = std::move(done)](const Outcome &outcome) {
               answerOn<QString>(receiver, done, writeFailure(key, outcome));
           });
}
