#include "batch/SendSummary.h"

#include "support/TestTools.h"

namespace {

TEST(SendSummary, ADoneSendSaysHowManyAndWhere)
{
    EXPECT_EQ(sendDoneText(3, "the Drafts folder of me@example.org"),
              "3 messages are in the Drafts folder of me@example.org");
    EXPECT_EQ(sendDoneText(1, "the Maildir outbox ~/Outbox"),
              "1 message is in the Maildir outbox ~/Outbox");
}

TEST(SendSummary, AStoppedSendSaysWhatWasFiledAndWhatWasNot)
{
    EXPECT_EQ(sendStoppedText(1, 3, {"b.bin", "c.bin"}),
              "Stopped: 1 of 3 messages filed. Not sent: b.bin, c.bin");
    EXPECT_EQ(sendStoppedText(0, 1, {"a.bin"}), "Stopped: 0 of 1 message filed. Not sent: a.bin");
    // Everything went before the stop landed.
    EXPECT_EQ(sendStoppedText(2, 2, {}), "Stopped: 2 of 2 messages filed.");
    // Stopped before the plan was reported: never fewer planned than filed.
    EXPECT_EQ(sendStoppedText(2, 0, {}), "Stopped: 2 of 2 messages filed.");
}

TEST(SendSummary, ALongListOfUnsentFilesIsCutAndCounted)
{
    QStringList unsent;
    for (int n = 1; n <= 8; ++n)
        unsent << QStringLiteral("f%1").arg(n);
    EXPECT_EQ(sendStoppedText(0, 8, unsent),
              "Stopped: 0 of 8 messages filed. Not sent: f1, f2, f3, f4, f5 and 3 more");
    EXPECT_EQ(sendStoppedText(0, 5, unsent.mid(0, 5)),
              "Stopped: 0 of 5 messages filed. Not sent: f1, f2, f3, f4, f5");
}

} // namespace
