#include "batch/SendRemainder.h"

#include "batch/BatchSender.h"
#include "batch/SendSummary.h"
#include "support/FakeFileSystem.h"
#include "support/TestTools.h"

namespace {

// Ten files of 600 bytes with a limit of 1 kb: five messages of two files each.
class SendRemainderTest : public ::testing::Test
{
protected:
    SendRemainderTest()
    {
        for (int n = 0; n < 10; ++n) {
            const QString name = QStringLiteral("f%1").arg(n);
            files.addFile("/f/" + name, 600);
            request.entries.push_back({name, true});
        }
        plan = planBatch(request, files);
    }

    QStringList subjects(int from, int to) const
    {
        QStringList result;
        for (int n = from; n < to; ++n)
            result << plan.messages[std::size_t(n)].subject;
        return result;
    }

    FakeFileSystem files;
    SendRequest request{"/f", {}, "1", "to@x.example", "P ", "me@x.example"};
    BatchPlan plan;
};

TEST_F(SendRemainderTest, TheRestPlannedAgainIsTheRestOfTheSplit)
{
    ASSERT_EQ(plan.messages.size(), 5u);
    const SendRemainder rest = remainderOf(plan, SendOutcome{subjects(0, 2), {}});
    EXPECT_EQ(rest.messagesFiled, 2);
    EXPECT_EQ(rest.messagesPlanned, 5);
    EXPECT_EQ(rest.filedFiles, (QStringList{"f0", "f1", "f2", "f3"}));
    EXPECT_TRUE(rest.uncertainFiles.isEmpty());
    EXPECT_EQ(rest.unsentFiles, (QStringList{"f4", "f5", "f6", "f7", "f8", "f9"}));

    // Unticked what went, the same size: the messages the first Send did not file.
    SendRequest again = request;
    for (FileLine &line : again.entries)
        line.ticked = rest.unsentFiles.contains(line.name);
    const BatchPlan second = planBatch(again, files);
    ASSERT_EQ(second.messages.size(), 3u);
    for (std::size_t n = 0; n < 3; ++n)
        EXPECT_EQ(second.messages[n].subject, plan.messages[n + 2].subject);
}

TEST_F(SendRemainderTest, AMessageThatMayHaveGoneIsNeitherFiledNorLeftToSend)
{
    SendRemainder rest = remainderOf(plan, SendOutcome{subjects(0, 1), subjects(1, 2)});
    EXPECT_EQ(rest.filedFiles, (QStringList{"f0", "f1"}));
    EXPECT_EQ(rest.uncertainFiles, (QStringList{"f2", "f3"}));
    EXPECT_EQ(rest.uncertainSubjects, subjects(1, 2));
    EXPECT_EQ(rest.unsentFiles.size(), 6);
    EXPECT_EQ(sendRemainderText(rest, true, false),
              "Sent 1 of 5 messages. The files not sent are still ticked: press Send to send "
              "them. \"P f2,f3\" may have been sent: check before sending its files again; they "
              "are unticked.");

    // Nothing filed, nothing left: a refusal of the sizes before the first message.
    rest = remainderOf(plan, SendOutcome{});
    EXPECT_TRUE(rest.filedFiles.isEmpty());
    EXPECT_EQ(rest.unsentFiles.size(), 10);
    EXPECT_EQ(sendRemainderText(rest, false, false),
              "Filed 0 of 5 messages. The files not filed are still ticked: press Send to file "
              "them.");
    // Everything filed, the last step failing after it: nothing to tick again.
    rest = remainderOf(plan, SendOutcome{subjects(0, 5), {}});
    EXPECT_TRUE(rest.unsentFiles.isEmpty());
    EXPECT_EQ(sendRemainderText(rest, false, true), "Stopped: 5 of 5 messages filed.");
    EXPECT_EQ(sendRemainderText(remainderOf(plan, SendOutcome{subjects(0, 3), {}}), true, true),
              "Stopped: 3 of 5 messages sent. The files not sent are still ticked: press Send to "
              "send them.");
}

} // namespace
