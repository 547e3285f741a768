#include "app/SendController.h"

#include "batch/PreparedSend.h"
#include "common/SendCancelled.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "support/FakeFileSystem.h"
#include "support/FakeOutbox.h"
#include "support/TestTools.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// An outbox whose server answers the limit only once the test opens the gate.
class GatedOutbox : public FakeOutbox
{
public:
    std::optional<std::uint64_t> messageSizeLimit() override
    {
        ++asked;
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_open; });
        if (failing)
            throw Failure(QStringLiteral("Cannot reach the server"));
        return sizeLimit;
    }
    void open()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_opened.notify_all();
    }

    std::atomic<int> asked{0};
    bool failing = false;

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

class SendControllerTest : public ::testing::Test
{
protected:
    SendControllerTest()
    {
        for (int n = 0; n < 5; ++n) {
            const QString name = QStringLiteral("f%1").arg(n);
            files.addFile("/f/" + name, 10);
            request.entries.push_back({name, true});
        }
    }

    PreparedSend prepared(const Outbox &outbox)
    {
        return prepareSend(request, files, outbox.messageRules());
    }

    // Runs a Send to its end; returns how it ended.
    SendEnd sendToEnd(SendController &controller)
    {
        std::optional<SendEnd> end;
        const auto connection = QObject::connect(&controller, &SendController::finished,
                                                 [&end](const SendEnd &e) { end = e; });
        controller.start(prepared(controller.outbox()));
        EXPECT_TRUE(QTest::qWaitFor([&end] { return end.has_value(); }, 20000));
        QObject::disconnect(connection);
        EXPECT_FALSE(controller.isSending());
        return end.value_or(SendEnd{});
    }

    FakeFileSystem files;
    // A message per file.
    SendRequest request{"/f", {}, "0", "to@x.example", "", "me@x.example"};
};

TEST_F(SendControllerTest, AnEndTellsWhatWentAndWhatIsLeftToUntick)
{
    SendController controller;
    auto outbox = std::make_unique<FakeOutbox>();
    FakeOutbox &mail = *outbox;
    controller.setOutbox(std::move(outbox));

    SendEnd end = sendToEnd(controller);
    EXPECT_EQ(end.kind, SendEnd::Kind::Done);
    EXPECT_EQ(end.summary, "5 drafts in the test outbox");
    EXPECT_TRUE(end.untick.isEmpty());

    // The third message fails: the two before went.
    mail.onFile = [](int call, TransferMonitor &) {
        if (call == 7)
            throw Failure(QStringLiteral("The disk is full."));
    };
    end = sendToEnd(controller);
    EXPECT_EQ(end.kind, SendEnd::Kind::Failed);
    EXPECT_EQ(end.untick, (QStringList{"f0", "f1"}));
    EXPECT_EQ(end.summary, "Filed 2 of 5 messages. The files not filed are still ticked: press "
                           "Send to file them. The disk is full.");
    EXPECT_TRUE(end.failure.startsWith("The disk is full.\n\nAlready in the test outbox"));

    // Stopped on request during the second: only the first went.
    mail.onFile = [&controller](int call, TransferMonitor &monitor) {
        if (call != 9)
            return;
        QMetaObject::invokeMethod(&controller, [&controller] { controller.cancel(); });
        while (!monitor.cancelRequested())
            QThread::yieldCurrentThread();
        throw SendCancelled();
    };
    end = sendToEnd(controller);
    EXPECT_EQ(end.kind, SendEnd::Kind::Stopped);
    EXPECT_EQ(end.untick, QStringList{"f0"});
    EXPECT_EQ(end.summary, "Stopped: 1 of 5 messages filed. The files not filed are still "
                           "ticked: press Send to file them.");

    // The answer lost after the second went whole: it is unticked too, and named.
    mail.sends = true;
    mail.onFile = [](int call, TransferMonitor &) {
        if (call == 11)
            throw PerhapsFiled(QStringLiteral("The connection broke."));
    };
    end = sendToEnd(controller);
    EXPECT_EQ(end.kind, SendEnd::Kind::Failed);
    EXPECT_EQ(end.untick, (QStringList{"f0", "f1"}));
    EXPECT_EQ(end.summary,
              "Sent 1 of 5 messages. The files not sent are still ticked: press Send to send "
              "them. \"f1\" may have been sent: check before sending its files again; they are "
              "unticked. The connection broke.");

    // Sent whole: the line names whom it went to, from the Send's To field.
    mail.onFile = {};
    request.recipient = "Ann <ann@x.example>, bob@x.example";
    end = sendToEnd(controller);
    EXPECT_EQ(end.kind, SendEnd::Kind::Done);
    EXPECT_EQ(end.summary, "Sent to ann@x.example and bob@x.example: 5 messages");
}

TEST_F(SendControllerTest, TheLimitIsAskedOnAWorkerAndAnAnswerAboutAReplacedOutboxIsDropped)
{
    SendController controller;
    QSignalSpy changed(&controller, &SendController::sizeLimitChanged);
    auto slow = std::make_unique<GatedOutbox>();
    GatedOutbox &first = *slow;
    first.sizeLimit = 1000;
    std::atomic<bool> firstGone{false};
    first.onDestroyed = [&firstGone] { firstGone = true; };
    controller.setOutbox(std::move(slow));
    // This thread went on while the server was asked.
    ASSERT_TRUE(QTest::qWaitFor([&first] { return first.asked == 1; }, 10000));
    EXPECT_FALSE(controller.sizeLimit());

    auto next = std::make_unique<FakeOutbox>();
    next->sizeLimit = 25000000;
    controller.setOutbox(std::move(next));
    ASSERT_TRUE(
        QTest::qWaitFor([&controller] { return controller.sizeLimit().has_value(); }, 10000));
    EXPECT_EQ(*controller.sizeLimit(), 25000000u);
    EXPECT_GE(changed.count(), 1);

    // The first outbox answers late, then goes: its answer was handed over before it went.
    first.open();
    ASSERT_TRUE(QTest::qWaitFor([&firstGone] { return firstGone.load(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(*controller.sizeLimit(), 25000000u);

    // A server that cannot be asked: no limit, and nothing else changes.
    auto failing = std::make_unique<GatedOutbox>();
    failing->failing = true;
    failing->open();
    controller.setOutbox(std::move(failing));
    EXPECT_FALSE(controller.sizeLimit());
    const int before = changed.count();
    auto fine = std::make_unique<FakeOutbox>();
    fine->sizeLimit = 5;
    controller.setOutbox(std::move(fine));
    ASSERT_TRUE(QTest::qWaitFor([&controller] { return controller.sizeLimit() == 5u; }, 10000));
    EXPECT_GT(changed.count(), before);
}

TEST_F(SendControllerTest, ASendStartedWhileTheLimitIsAskedWaitsForItOnItsWorker)
{
    SendController controller;
    auto slow = std::make_unique<GatedOutbox>();
    GatedOutbox &mail = *slow;
    controller.setOutbox(std::move(slow));
    ASSERT_TRUE(QTest::qWaitFor([&mail] { return mail.asked == 1; }, 10000));
    std::optional<SendEnd> end;
    QObject::connect(&controller, &SendController::finished, [&end](const SendEnd &e) { end = e; });
    controller.start(prepared(mail));
    // Nothing is filed while the outbox is busy with the question; this thread is not held.
    QTest::qWait(0);
    EXPECT_EQ(mail.filedCount, 0);
    EXPECT_FALSE(end);
    mail.open();
    ASSERT_TRUE(QTest::qWaitFor([&end] { return end.has_value(); }, 20000));
    EXPECT_EQ(end->kind, SendEnd::Kind::Done);
    EXPECT_EQ(mail.filed().size(), 5u);
}

} // namespace
