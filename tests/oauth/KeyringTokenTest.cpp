#include "SessionKeyring.h"
#include "SignedIn.h"

#include "mailbridge/oauth/RefreshingTokenSource.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "support/TestTools.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

namespace {

const QString key = "imap-oauth2://me@127.0.0.1:143";

// Runs work on a thread of its own, as a Send runs. With the event loop turning here, as in
// the window; without, as when this thread only waits. What work threw, else empty.
QString onAnotherThread(const std::function<void()> &work, bool turnTheLoop)
{
    QString failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
    }));
    thread->start();
    if (turnTheLoop)
        EXPECT_TRUE(QTest::qWaitFor([&] { return thread->isFinished(); }, 60'000));
    else
        EXPECT_TRUE(thread->wait(60'000));
    return failure;
}

// The desktop's keyring through QtKeychain, from the window's thread and from a Send's.
class RealKeyring : public testing::Test
{
protected:
    SessionKeyring session;
    std::shared_ptr<KeychainPasswordStore> keyring = std::make_shared<KeychainPasswordStore>();
};

TEST_F(RealKeyring, KeepsAndForgetsAPasswordFromEveryThread)
{
    keyring->write(key, "one");
    EXPECT_EQ(keyring->read(key), QString("one")) << session.log();

    std::optional<QString> readThere;
    EXPECT_EQ(onAnotherThread(
                  [&] {
                      readThere = keyring->read(key);
                      keyring->write(key, "two");
                  },
                  true),
              QString());
    EXPECT_EQ(readThere, QString("one"));
    EXPECT_EQ(KeychainPasswordStore().read(key), QString("two")) << "a later run reads it";

    EXPECT_EQ(onAnotherThread([&] { keyring->remove(key); }, true), QString());
    EXPECT_EQ(keyring->read(key), std::nullopt);
}

// A thread that asks while the application's thread waits for it gets "no answer" in time
// rather than both waiting for ever; what it asked for is done once that thread is free.
TEST_F(RealKeyring, AskingWhileTheApplicationsThreadWaitsEndsInTime)
{
    keyring->write(key, "kept");
    KeychainPasswordStore impatient(std::chrono::milliseconds(300));
    QElapsedTimer clock;
    clock.start();
    std::optional<QString> readThere = QString("unset");
    const QString failure = onAnotherThread(
        [&] {
            readThere = impatient.read(key);
            impatient.write(key, "late");
        },
        false);
    // Not answering would mean waiting for ever; the bound leaves room for sanitizers.
    EXPECT_LT(clock.elapsed(), 20'000);
    EXPECT_EQ(readThere, std::nullopt);
    EXPECT_TRUE(failure.contains("Cannot keep the password")) << failure;
    EXPECT_TRUE(QTest::qWaitFor([&] { return keyring->read(key) == QString("late"); }, 10'000));
}

// Providers may hand out a new refresh token with each access token; the Send's thread gets
// it, and the next run must find it, or the person has to sign in again.
TEST_F(RealKeyring, ARefreshTokenRotatedOnASendsThreadIsKeptForTheNextRun)
{
    AuthorizationServer server({"--rotate"});
    const QString signedIn = signedInRefreshToken(server, *keyring, key);
    ASSERT_TRUE(signedIn.startsWith("rt-")) << session.log();

    for (int send = 0; send < 2; ++send) {
        const QString before = keyring->read(key).value_or(QString());
        QString accessToken;
        EXPECT_EQ(onAnotherThread(
                      [&] {
                          RefreshingTokenSource source(server.endpoints(), keyring, key);
                          accessToken = source.accessToken(false);
                      },
                      true),
                  QString());
        EXPECT_FALSE(accessToken.isEmpty());
        const QString kept = KeychainPasswordStore().read(key).value_or(QString());
        EXPECT_TRUE(kept.startsWith("rt-")) << kept;
        EXPECT_NE(kept, before) << "the rotated token replaced the used one";
    }

    RefreshingTokenSource nextRun(server.endpoints(), keyring, key);
    EXPECT_FALSE(nextRun.accessToken(false).isEmpty());
    EXPECT_EQ(server.counts().value("refused").toInt(), 0);
}

} // namespace
