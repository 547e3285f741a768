#include "mailbridge/password/KeychainPasswordStore.h"

#include "common/Failure.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <functional>
#include <future>
#include <memory>

namespace {

const QString service = QStringLiteral("Ferrymail");

struct Outcome
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
};

// Runs the job to its end or the timeout. The job deletes itself when done, also after a
// timeout, when nobody is listening any more: the connection dies with the loop.
Outcome run(QKeychain::Job *job, std::chrono::milliseconds timeout)
{
    job->setAutoDelete(true);
    Outcome outcome;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *done) {
        outcome.finished = true;
        outcome.error = done->error();
        outcome.errorText = done->errorString();
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome.finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return outcome;
}

// Runs work on the application's thread and gives its result, or nothing when that thread
// did not get to it within the timeout (it may be waiting for this one). Work that starts
// later still runs and finds nobody waiting, which is harmless.
template <typename Result>
std::optional<Result> onApplicationThread(std::function<Result()> work,
                                          std::chrono::milliseconds timeout)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || application->thread() == QThread::currentThread())
        return work();
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> result = promise->get_future();
    QMetaObject::invokeMethod(
        application,
        [work = std::move(work), promise] {
            try {
                promise->set_value(work());
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        },
        Qt::QueuedConnection);
    // The job's own timeout runs there; this one also covers the wait to get there.
    if (result.wait_for(2 * timeout) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

QString reason(const Outcome &outcome)
{
    return outcome.finished ? outcome.errorText : QStringLiteral("the keyring did not answer");
}

} // namespace

KeychainPasswordStore::KeychainPasswordStore(std::chrono::milliseconds timeout) : m_timeout(timeout)
{
}

std::optional<QString> KeychainPasswordStore::read(const QString &key)
{
    const auto timeout = m_timeout;
    const std::optional<std::optional<QString>> found = onApplicationThread<std::optional<QString>>(
        [key, timeout]() -> std::optional<QString> {
            auto *job = new QKeychain::ReadPasswordJob(service);
            job->setKey(key);
            QString password;
            QObject::connect(job, &QKeychain::Job::finished, job,
                             [&password, job] { password = job->textData(); });
            const Outcome outcome = run(job, timeout);
            // No keyring, a locked one the user would not open, no entry: all mean "ask
            // elsewhere".
            if (!outcome.finished || outcome.error != QKeychain::NoError || password.isEmpty())
                return std::nullopt;
            return password;
        },
        m_timeout);
    return found.value_or(std::nullopt);
}

void KeychainPasswordStore::write(const QString &key, const QString &password)
{
    const auto timeout = m_timeout;
    const std::optional<Outcome> outcome = onApplicationThread<Outcome>(
        [key, password, timeout] {
            auto *job = new QKeychain::WritePasswordJob(service);
            job->setKey(key);
            job->setTextData(password);
            return run(job, timeout);
        },
        m_timeout);
    if (!outcome || !outcome->finished || outcome->error != QKeychain::NoError)
        throw Failure(QStringLiteral("Cannot keep the password for %1 in the keyring: %2. Set a "
                                     "PasswordCommand instead, or enter it at each Send.")
                          .arg(key, outcome ? reason(*outcome) : reason(Outcome{})));
}

void KeychainPasswordStore::remove(const QString &key)
{
    const auto timeout = m_timeout;
    const std::optional<Outcome> outcome = onApplicationThread<Outcome>(
        [key, timeout] {
            auto *job = new QKeychain::DeletePasswordJob(service);
            job->setKey(key);
            return run(job, timeout);
        },
        m_timeout);
    if (!outcome || !outcome->finished ||
        (outcome->error != QKeychain::NoError && outcome->error != QKeychain::EntryNotFound))
        throw Failure(QStringLiteral("Cannot remove the password for %1 from the keyring: %2.")
                          .arg(key, outcome ? reason(*outcome) : reason(Outcome{})));
}
