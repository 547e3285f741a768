#include "OutboxFixture.h"
#include "RecordingMonitor.h"
#include "mailbridge/TransferMonitor.h"

#include <QDateTime>

#include <fcntl.h>
#include <unistd.h>

namespace {

using FileChangeTest = OutboxFixture;

// Far more than one read block, so that the change falls between two of them.
constexpr qsizetype fileSize = 3 * 1024 * 1024;

void setModifiedBack(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                 QFileDevice::FileModificationTime));
}

void changeFile(const QString &path, const std::function<void(int fd)> &change)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    change(fd);
    ::close(fd);
}

TEST_F(FileChangeTest, AFileChangedWhileReadFailsTheSendNamingItAndFilesNothing)
{
    struct Case
    {
        const char *name;
        std::function<void(int fd)> change;
        qsizetype size = fileSize;
    };
    const QByteArray patch(4096, 'X');
    const std::vector<Case> cases = {
        {"overwritten in the middle, same size",
         [&](int fd) { ASSERT_EQ(::pwrite(fd, patch.constData(), 4096, fileSize / 2), 4096); }},
        {"overwritten in a part already read",
         [&](int fd) { ASSERT_EQ(::pwrite(fd, patch.constData(), 4096, 0), 4096); }},
        {"grown",
         [&](int fd) { ASSERT_EQ(::pwrite(fd, patch.constData(), 4096, fileSize), 4096); }},
        {"cut", [&](int fd) { ASSERT_EQ(::ftruncate(fd, fileSize / 2), 0); }},
        // A change in the last block read must be seen too.
        {"overwritten at its end",
         [&](int fd) { ASSERT_EQ(::pwrite(fd, patch.constData(), 10, fileSize - 10), 10); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString kept = writeRandomFile("before.bin", 1000);
        const QString path = writeRandomFile("changing.bin", c.size);
        // The modification time moves in clock ticks: set back, so a change always moves it.
        setModifiedBack(path);
        RecordingMonitor monitor;
        bool changed = false;
        monitor.afterBytes = [&](std::int64_t) {
            if (!changed && monitor.started.size() == 2) {
                changed = true;
                changeFile(path, c.change);
            }
        };
        Draft draft;
        draft.attachmentPaths << kept;
        draft.attachmentPaths << path;
        const QString failure = failureOf([&] { outbox.file(draft, monitor); });
        EXPECT_TRUE(changed);
        EXPECT_TRUE(failure.contains(path) && failure.contains("changed")) << failure;
        EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList());
    }
}

TEST_F(FileChangeTest, AFileLeftAloneSendsWhole)
{
    const QString path = writeRandomFile("steady.bin", fileSize + 1);
    Draft draft;
    draft.attachmentPaths << path;
    outbox.file(draft, TransferMonitor::none());
    ASSERT_EQ(firstSent().attachments.size(), 1u);
    EXPECT_TRUE(firstSent().attachments[0].bytes == fileBytes(path));
}

} // namespace
