#include "OutboxFixture.h"
#include "RecordingMonitor.h"
#include "mailbridge/TransferMonitor.h"

#include <QDir>

#include <csignal>
#include <sys/resource.h>

namespace {

using SendProgressTest = OutboxFixture;

TEST_F(SendProgressTest, ReportsEachFileAsItStartsAndExactlyItsBytes)
{
    const std::vector<qsizetype> sizes = {0, 5, 57 * 16384, 57 * 16384 + 1, 0, 3'000'000, 1};
    QStringList paths;
    Draft draft;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        paths << writeRandomFile(QStringLiteral("file%1.bin").arg(i), sizes[i]);
        draft.attachmentPaths << paths.back();
    }
    RecordingMonitor monitor;
    outbox.file(draft, monitor);

    EXPECT_EQ(monitor.started, paths);
    ASSERT_EQ(monitor.bytesPerFile.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(monitor.bytesPerFile[i], sizes[i]) << paths[int(i)];
    EXPECT_GE(monitor.reports, 4) << "a large file reports block by block";
    EXPECT_EQ(filesIn("new").size(), 1);
}

TEST_F(SendProgressTest, ACancelStopsWithinABlockAndLeavesNothing)
{
    const QString first = writeRandomFile("first.bin", 1000);
    const QString large = writeRandomFile("large.bin", 40 * 1024 * 1024);
    for (const bool atOnce : {true, false}) {
        SCOPED_TRACE(atOnce ? "cancelled before the Send" : "cancelled while reading");
        RecordingMonitor monitor;
        monitor.cancel = atOnce;
        monitor.afterBytes = [&](std::int64_t total) {
            if (total > 1000)
                monitor.cancel = true; // after the first block of the large file
        };
        Draft draft;
        draft.attachmentPaths << first;
        draft.attachmentPaths << large;
        const int threadsBefore = threadCount();
        const QStringList filedBefore = filesIn("new");
        EXPECT_THROW(outbox.file(draft, monitor), SendCancelled);
        EXPECT_EQ(threadCount(), threadsBefore) << "the writer thread outlived the write";
        EXPECT_LE(monitor.total, 1000 + 2 * 1024 * 1024) << "read on after the cancel";
        EXPECT_EQ(filesIn("new"), filedBefore);
        EXPECT_EQ(filesIn("tmp"), QStringList());
        // Nothing was filed, so the item may go again once nobody cancels.
        RecordingMonitor again;
        outbox.file(draft, again);
        EXPECT_EQ(again.total, 1000 + 40 * 1024 * 1024);
        EXPECT_EQ(filesIn("new").size(), atOnce ? 1 : 2);
    }
}

TEST_F(SendProgressTest, AFailedWriteEndsTheWriterThreadAndNamesTheMessageFile)
{
    const QString big = writeRandomFile("big.bin", 20 * 1024 * 1024);
    const int result = runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {5 << 20, 5 << 20};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        Draft draft;
        draft.attachmentPaths << big;
        const int threadsBefore = threadCount();
        const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
        if (threadCount() != threadsBefore)
            return 4;
        return failure.contains(outboxPath + "/tmp") && failure.contains("File too large") ? 0 : 3;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList());
}

} // namespace
