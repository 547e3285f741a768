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
        {"two messages", ready, "3 files in 2 messages; about 1.2 MB as mail; into the outbox ~/O"},
        {"one message",
         {"/f", {{"c", true}, {"a", false}}, "750", "t@x", "", "m@x"},
         "1 file in 1 message; about 2.0 kB as mail; into the outbox ~/O"},
        {"nothing ticked",
         {"/f", {{"a", false}}, "750", "t@x", "", "m@x"},
         "A Send now would be refused: \"No files selected!\"; into the outbox ~/O"},
        {"no sender",
         {"/f", {{"a", true}}, "750", "t@x", "", ""},
         "A Send now would be refused: \"You must enter who the messages are from.\"; "
         "into the outbox ~/O"},
        {"size text",
         {"/f", {{"a", true}}, "12kb", "t@x", "", "m@x"},
         "The maximum message size \"12kb\" is not a number of kilobytes.; into the outbox ~/O"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SendPreview(files).text(c.request, "the outbox ~/O"), c.tip);
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
    const QString tip = preview.text(request, "the outbox");
    EXPECT_TRUE(tip.startsWith("4 files in 3 messages; ")) << tip;
    EXPECT_EQ(planBatch(request, files).messages.size(), 3u);

    files.sizeLookups.clear();
    preview.text(request, "the outbox", LineEnding::CrLf);
    EXPECT_TRUE(files.sizeLookups.isEmpty()) << "sizes are kept between ticks";
    preview.forget();
    preview.text(request, "the outbox");
    EXPECT_EQ(files.sizeLookups.size(), 4);
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
        const auto estimate = double(mailBytesEstimate(1000000, 1, ending));
        EXPECT_NEAR(estimate / exact, 1.0, 0.001) << int(ending);
    }
    // CRLF adds a byte to each of the about 17,500 base64 lines.
    EXPECT_GT(mailBytesEstimate(1000000, 1, LineEnding::CrLf) - mailBytesEstimate(1000000, 1),
              17000);
}

} // namespace
