#include "OutboxFixture.h"

#include <QDir>
#include <QElapsedTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OutboxFailureTest = OutboxFixture;

TEST_F(OutboxFailureTest, AddingRejectsWhatIsNotARegularFileAtOnce)
{
    const QString fifo = dir.filePath("pipe");
    const QString folder = dir.filePath("a folder");
    QDir().mkpath(folder);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    auto item = outbox.CreateItem();
    QElapsedTimer timer;
    timer.start();
    for (const auto &[path, reason] : std::initializer_list<std::pair<QString, const char *>>{
             {fifo, "not a regular file"},
             {dir.filePath("missing.txt"), "No such file or directory"},
             {folder, "not a regular file"}}) {
        const QString failure = failureOf([&] { item->addAttachment(path); });
        EXPECT_TRUE(failure.contains(path) && failure.contains(reason)) << failure;
    }
    EXPECT_LT(timer.elapsed(), 5000) << "a FIFO without writer must not block";

    item->Send();
    EXPECT_TRUE(firstSent().attachments.empty()) << "a rejected file is not attached";
}

TEST_F(OutboxFailureTest, AddingRejectsAnUnreadableFile)
{
    const QString path = writeFile("secret.txt", "secret");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const auto attempt = [&] {
        const QString failure = failureOf([&] { outbox.CreateItem()->addAttachment(path); });
        return failure.contains(path) && failure.contains("Permission denied") ? 0 : 1;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(attempt(), 0);
        return;
    }
    // Permissions do not hold for root: try as nobody, who may enter the folder.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner |
                                                      QFileDevice::ExeOther));
    EXPECT_EQ(
        runInChild([&] { return ::setgid(65534) == 0 && ::setuid(65534) == 0 ? attempt() : 2; }),
        0);
}

TEST_F(OutboxFailureTest, AFileGoneBeforeSendFailsAndLeavesNothingBehind)
{
    auto item = outbox.CreateItem();
    item->addAttachment(writeRandomFile("kept.bin", 200'000));
    const QString gone = writeRandomFile("gone.bin", 1000);
    item->addAttachment(gone);
    ASSERT_TRUE(QFile::remove(gone));

    const QString failure = failureOf([&] { item->Send(); });
    EXPECT_TRUE(failure.contains(gone) && failure.contains("No such file or directory")) << failure;
    EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList());

    // Nothing was delivered, so the same item may go once the file is back.
    writeRandomFile("gone.bin", 1000);
    item->Send();
    EXPECT_EQ(filesIn("new").size(), 1);
}

TEST_F(OutboxFailureTest, AWriteErrorFailsNamingTheMessageFileAndLeavesNothingBehind)
{
    const QString big = writeRandomFile("big.bin", 2 * 1024 * 1024);
    // A file size limit makes writes fail like a full disk would, in a child process only.
    const int result = runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {256 * 1024, 256 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        auto item = outbox.CreateItem();
        item->addAttachment(big);
        const QString failure = failureOf([&] { item->Send(); });
        return failure.contains(outboxPath + "/tmp") && failure.contains("File too large") ? 0 : 3;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList());
}

TEST_F(OutboxFailureTest, AnUnusableTmpFolderFailsNamingIt)
{
    const QString tmp = outboxPath + "/tmp";
    ASSERT_TRUE(QDir(tmp).removeRecursively());
    ::writeFile(tmp, ""); // a file where the folder should be

    auto item = outbox.CreateItem();
    item->setSubject("nowhere to go");
    const QString failure = failureOf([&] { item->Send(); });
    EXPECT_TRUE(failure.contains(tmp) && failure.contains("Not a directory")) << failure;
    EXPECT_TRUE(filesIn("new").isEmpty());
}

TEST_F(OutboxFailureTest, AnItemIsSpentAfterSend)
{
    auto item = outbox.CreateItem();
    item->setSubject("once");
    item->Send();
    EXPECT_THROW(item->Send(), Failure);
    EXPECT_THROW(item->addAttachment(writeFile("late", "x")), Failure);
    EXPECT_THROW(item->setSubject("twice"), Failure);
    EXPECT_EQ(item->Subject(), "once");
    EXPECT_EQ(filesIn("new").size(), 1);
}

} // namespace
