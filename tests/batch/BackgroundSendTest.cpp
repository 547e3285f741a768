#include "batch/BackgroundSend.h"
#include "batch/PreparedSend.h"

#include "mailbridge/TransferMonitor.h"
#include "support/FakeFileSystem.h"
#include "support/FakeOutbox.h"
#include "support/TestTools.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Three files of one message each, whose every message takes a while and obeys a cancel.
class BackgroundSendTest : public ::testing::Test
{
protected:
    BackgroundSendTest()
    {
        files.addFolder("/f");
        for (const char *name : {"a", "b", "c"}) {
            request.entries.push_back({name, true});
            files.addFile(QStringLiteral("/f/") + name, 10);
        }
        mail.onFile = [this](int, TransferMonitor &monitor) {
            ++started;
            for (int n = 0; n < 40; ++n) {
                if (monitor.cancelRequested())
                    throw SendCancelled();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
    }

    SendRequest request{"/f", {}, "0", "to@example.org", "", "from@example.org"};
    FakeFileSystem files;
    FakeOutbox mail;
    std::atomic<int> started{0};
};

TEST_F(BackgroundSendTest, RunsToItsEndAndTellsItOnTheCallersThread)
{
    BackgroundSend send(prepareSend(request, files, mail.messageRules()), mail);
    QSignalSpy finished(&send, &BackgroundSend::finished);
    send.start();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(send.isRunning());
    EXPECT_EQ(send.result().filedSubjects, (QStringList{"a", "b", "c"}));
    const auto status = send.status();
    EXPECT_EQ(status.messagesPlanned, 3);
    EXPECT_EQ(status.messagesFiled, 3);
    EXPECT_EQ(status.bytesTotal, 30);
}

TEST_F(BackgroundSendTest, ACancelKeepsWhatWasFiledAndStillFinishes)
{
    BackgroundSend send(prepareSend(request, files, mail.messageRules()), mail);
    QSignalSpy finished(&send, &BackgroundSend::finished);
    send.start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return started >= 2; }, 10000));
    send.cancel();
    ASSERT_TRUE(finished.wait(10000));
    try {
        send.result();
        ADD_FAILURE() << "a cancelled Send reported success";
    } catch (const SendStopped &stopped) {
        EXPECT_TRUE(stopped.cancelled());
        EXPECT_EQ(stopped.filedSubjects(), QStringList{"a"});
        EXPECT_EQ(stopped.unsentFiles(), (QStringList{"b", "c"}));
    }
    EXPECT_EQ(mail.filed().size(), 1u);
}

TEST_F(BackgroundSendTest, GoingAwayWhileRunningStopsTheWorkerFirst)
{
    {
        BackgroundSend send(prepareSend(request, files, mail.messageRules()), mail);
        send.start();
        ASSERT_TRUE(QTest::qWaitFor([this] { return started >= 1; }, 10000));
    }
    // The worker has ended: nothing more reaches the mail client.
    const auto offered = mail.offered.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(mail.offered.size(), offered);
    EXPECT_LT(mail.filed().size(), 3u);
}

} // namespace
