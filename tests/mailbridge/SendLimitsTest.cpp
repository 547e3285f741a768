#include "OutboxFixture.h"
#include "mailbridge/TransferMonitor.h"

#include <QDir>

#include <sys/resource.h>

namespace {

using SendLimitsTest = OutboxFixture;

TEST_F(SendLimitsTest, ThousandsOfFilesSendUnderALowDescriptorLimit)
{
    constexpr int fileCount = 2000;
    const QString folder = dir.filePath("many");
    QDir().mkpath(folder);
    QStringList paths;
    std::vector<QByteArray> contents;
    for (int i = 0; i < fileCount; ++i) {
        // Mostly empty files, which once each kept a descriptor to the end of the message.
        contents.push_back(i % 4 == 3 ? randomBytes(i, quint32(i)) : QByteArray());
        paths << ::writeFile(QStringLiteral("%1/f%2").arg(folder).arg(i, 4, 10, QLatin1Char('0')),
                             contents.back());
    }
    const int result = runInChild([&] {
        const struct rlimit limit = {64, 64};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 2;
        Draft draft;
        for (const QString &path : paths)
            draft.attachmentPaths << path;
        const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
        if (!failure.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(failure));
        return failure.isEmpty() ? 0 : 3;
    });
    ASSERT_EQ(result, 0);
    const ParsedMessage message = firstSent();
    ASSERT_EQ(message.attachments.size(), std::size_t(fileCount));
    for (int i = 0; i < fileCount; ++i)
        ASSERT_TRUE(message.attachments[i].bytes == contents[i]) << i;
}

} // namespace
