#include "batch/SendPreview.h"

#include "batch/BatchPlan.h"
#include "batch/SendRequest.h"
#include "support/FakeFileSystem.h"
#include "support/FakeOutbox.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SendPreview, SaysWhatASendWouldDoOrWhyItWouldNot)
{
    FakeFileSystem files;
    files.addFile("/f/a", 600 * 1024);
    files.addFile("/f/b", 300 * 1024);
    files.addFile("/f/c", 1000);
    const SendRequest ready{
        "/f", {{"a", true}, {"b", true}, {"c", true}}, "750", "to@x.example", "P", "me@x.example"};
    const struct
    {
        const char *name;
        SendRequest request;
        QString tip;
    } cases[] = {
        {"two messages", ready, "3 files in 2 messages\nabout 1.2 MB as mail\ninto the outbox ~/O"},
        {"one message",
         {"/f", {{"c", true}, {"a", false}}, "750", "t@x", "", "m@x"},
         "1 file in 1 message\nabout 2.0 kB as mail\ninto the outbox ~/O"},
        {"nothing ticked",
         {"/f", {{"a", false}}, "750", "t@x", "", "m@x"},
         "A Send now would be refused:\nNo files selected!\ninto the outbox ~/O"},
        {"no sender",
         {"/f", {{"a", true}}, "750", "t@x", "", ""},
         "A Send now would be refused:\nYou must enter who the messages are from.\n"
         "into the outbox ~/O"},
        {"size text",
         {"/f", {{"a", true}}, "12kb", "t@x", "", "m@x"},
         "The maximum message size \"12kb\" is not a number of kilobytes.\ninto the outbox ~/O"},
    };
    FakeOutbox outbox;
    outbox.where = "the outbox ~/O";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SendPreview(files).text(c.request, outbox), c.tip);
    }
}

TEST(SendPreview, FollowsTheSendsOwnSplitAndAsksEachSizeOnce)
{
    // The worked example: a file larger than the limit joins the smaller one before it.
    FakeFileSystem files;
    const std::pair<const char *, qint64> sizes[] = {
        {"a", 300 * 1024}, {"big", 5000 * 1024}, {"huge", 3000 * 1024}, {"c", 10 * 1024}};
    SendRequest request{"/f", {}, "1000", "to@x.example", "P", "me@x.example"};
    for (const auto &[name, size] : sizes) {
        files.addFile(QStringLiteral("/f/") + name, size);
        request.entries.push_back({name, true});
    }
    SendPreview preview(files);
    FakeOutbox outbox;
    const QString tip = preview.text(request, outbox);
    EXPECT_TRUE(tip.startsWith("4 files in 3 messages\n")) << tip;
    EXPECT_EQ(planBatch(request, files).messages.size(), 3u);

    files.sizeLookups.clear();
    outbox.ending = LineEnding::CrLf;
    preview.text(request, outbox);
    EXPECT_TRUE(files.sizeLookups.isEmpty()) << "sizes are kept between ticks";
    preview.forget();
    preview.text(request, outbox);
    EXPECT_EQ(files.sizeLookups.size(), 4);
}

TEST(SendPreview, TheOverviewNumbersEachTickedLineAndNamesWhatGoesOverALimit)
{
    // The worked example again, with unticked lines among the ticked.
    FakeFileSystem files;
    const std::tuple<const char *, qint64, bool> lines[] = {{"a", 300 * 1024, true},
                                                            {"skip", 1, false},
                                                            {"big", 5000 * 1024, true},
                                                            {"huge", 3000 * 1024, true},
                                                            {"c", 10 * 1024, true}};
    SendRequest request{"/f", {}, "1000", "", "P", ""};
    for (const auto &[name, size, ticked] : lines) {
        files.addFile(QStringLiteral("/f/") + name, size);
        request.entries.push_back({name, ticked});
    }
    SendPreview preview(files);
    const FakeOutbox outbox;
    PlanOverview plan = preview.overview(request, outbox);
    EXPECT_EQ(plan.messageOfEntry, (std::vector<int>{1, 0, 1, 2, 3}));
    // The line needs no addresses; the tool tip says the Send would be refused.
    EXPECT_TRUE(plan.line.startsWith("4 files in 3 messages, about ")) << plan.line;
    EXPECT_TRUE(plan.line.contains(" as mail; message 1 is ")) << plan.line;
    EXPECT_TRUE(plan.line.endsWith(": big alone is 5.1 MB (and 1 more above the limit)"))
        << plan.line;
    EXPECT_TRUE(plan.toolTip.startsWith("A Send now would be refused:\n")) << plan.toolTip;

    // A limit of the outbox's own comes first; messages within every limit are not named.
    request.sizeText = "100000";
    plan = preview.overview(request, outbox, 4000000);
    EXPECT_EQ(plan.messageOfEntry, (std::vector<int>{1, 0, 1, 1, 1}));
    EXPECT_TRUE(plan.line.contains(" as mail; message 1 is about ")) << plan.line;
    EXPECT_TRUE(plan.line.endsWith(" as mail, more than the outbox takes (4.0 MB)")) << plan.line;
    plan = preview.overview(request, outbox, 20000000);
    EXPECT_TRUE(plan.line.startsWith("4 files in 1 message, about ")) << plan.line;
    EXPECT_FALSE(plan.line.contains(';')) << plan.line;

    // No plan: the reason, and no numbers.
    FakeFileSystem gone;
    for (const auto &[name, size, ticked] : lines)
        if (QString(name) != "huge")
            gone.addFile(QStringLiteral("/f/") + name, size);
    plan = SendPreview(gone).overview(request, outbox);
    EXPECT_EQ(plan.messageOfEntry, std::vector<int>(5, 0));
    EXPECT_TRUE(plan.line.startsWith("File not found: /f/huge")) << plan.line;
}

TEST(SendPreview, TheOverviewOfAFullFolderIsOnePassOverItsLines)
{
    // 32,767 files, every one ticked: one plan, each size asked once, numbers in order.
    FakeFileSystem files;
    SendRequest request{"/f", {}, "1", "to@x.example", "P", "me@x.example"};
    for (int n = 0; n < 32767; ++n) {
        const QString name = QStringLiteral("f%1").arg(n);
        files.addFile("/f/" + name, 2048);
        request.entries.push_back({name, true});
    }
    SendPreview preview(files);
    const PlanOverview plan = preview.overview(request, FakeOutbox());
    EXPECT_EQ(files.sizeLookups.size(), 32767);
    ASSERT_EQ(plan.messageOfEntry.size(), 32767u);
    EXPECT_EQ(plan.messageOfEntry.front(), 1);
    EXPECT_EQ(plan.messageOfEntry.back(), 32767);
    EXPECT_TRUE(plan.line.startsWith("32767 files in 32767 messages")) << plan.line;
}

TEST(SendPreview, TheEstimateIsCloseToWhatEitherKindOfOutboxStores)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath("scan.pdf"), randomBytes(1000000, 4));
    const Draft message{"to@x.example", "me@x.example", "P-scan.pdf", {path}};
    for (const LineEnding ending : {LineEnding::Lf, LineEnding::CrLf}) {
        FakeOutbox outbox;
        outbox.ending = ending;
        const auto exact = double(outbox.storedSize(message));
        const auto estimate = double(outbox.mailBytesEstimate(1000000, 1));
        EXPECT_NEAR(estimate / exact, 1.0, 0.001) << int(ending);
    }
    // CRLF adds a byte to each of the about 17,500 base64 lines.
    const MessageRules &rules = FakeOutbox().messageRules();
    EXPECT_GT(rules.mailBytesEstimate(1000000, 1, LineEnding::CrLf) -
                  rules.mailBytesEstimate(1000000, 1, LineEnding::Lf),
              17000);
}

} // namespace
