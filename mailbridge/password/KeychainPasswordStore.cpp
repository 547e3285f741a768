#include "mailbridge/password/KeychainPasswordStore.h"

#include "common/Failure.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

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
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(key);
    QString password;
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [&password, job] { password = job->textData(); });
    const Outcome outcome = run(job, m_timeout);
    // No keyring, a locked one the user would not open, no entry: all mean "ask elsewhere".
    if (!outcome.finished || outcome.error != QKeychain::NoError || password.isEmpty())
        return std::nullopt;
    return password;
}

void KeychainPasswordStore::write(const QString &key, const QString &password)
{
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setKey(key);
    job->setTextData(password);
    const Outcome outcome = run(job, m_timeout);
    if (!outcome.finished || outcome.error != QKeychain::NoError)
        throw Failure(QStringLiteral("Cannot keep the password for %1 in the keyring: %2. Set a "
                                     "PasswordCommand instead, or enter it at each Send.")
                          .arg(key, reason(outcome)));
}

void KeychainPasswordStore::remove(const QString &key)
{
    auto *job = new QKeychain::DeletePasswordJob(service);
    job->setKey(key);
    const Outcome outcome = run(job, m_timeout);
    if (!outcome.finished ||
        (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound))
        throw Failure(QStringLiteral("Cannot remove the password for %1 from the keyring: %2.")
                          .arg(key, reason(outcome)));
}
