#include "OutboxFixture.h"
#include "ParsedMessage.h"

#include "common/Failure.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OutboxFailureTest = OutboxFixture;

// The description of the Failure the call throws, or an empty text when it throws none.
template <typename Call> QString failureOf(Call call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return failure.description();
    }
    return QString();
}

TEST_F(OutboxFailureTest, AddingRejectsWhatIsNotARegularFileAtOnce)
{
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    const QString folder = dir.filePath(QStringLiteral("a folder"));
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    QDir().mkpath(folder);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    auto item = outbox.CreateItem();
    QElapsedTimer timer;
    timer.start();
    const QString fifoFailure = failureOf([&] { item->addAttachment(fifo); });
    EXPECT_LT(timer.elapsed(), 5000) << "a FIFO without writer must not block";
    EXPECT_TRUE(fifoFailure.contains(fifo)) << fifoFailure.toStdString();
    EXPECT_TRUE(fifoFailure.contains(QStringLiteral("not a regular file")));

    const QString missingFailure = failureOf([&] { item->addAttachment(missing); });
    EXPECT_TRUE(missingFailure.contains(missing)) << missingFailure.toStdString();
    EXPECT_TRUE(missingFailure.contains(QStringLiteral("No such file or directory")));

    const QString folderFailure = failureOf([&] { item->addAttachment(folder); });
    EXPECT_TRUE(folderFailure.contains(folder)) << folderFailure.toStdString();
    EXPECT_TRUE(folderFailure.contains(QStringLiteral("not a regular file")));

    item->Send();
    EXPECT_TRUE(parseMessageFile(filesIn(QStringLiteral("new")).value(0)).attachments.empty())
        << "a rejected file is not attached";
}

TEST_F(OutboxFailureTest, AddingRejectsAnUnreadableFile)
{
    const QString path = writeFile(QStringLiteral("secret.txt"), "secret");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const auto attempt = [&] {
        const QString failure = failureOf([&] { outbox.CreateItem()->addAttachment(path); });
        return failure.contains(path) && failure.contains(QStringLiteral("Permission denied")) ? 0
                                                                                               : 1;
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
    const QString kept = writeRandomFile(QStringLiteral("kept.bin"), 200'000);
    const QString gone = writeRandomFile(QStringLiteral("gone.bin"), 1000);
    auto item = outbox.CreateItem();
    item->addAttachment(kept);
    item->addAttachment(gone);
    ASSERT_TRUE(QFile::remove(gone));

    const QString failure = failureOf([&] { item->Send(); });
    EXPECT_TRUE(failure.contains(gone)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("No such file or directory")));
    EXPECT_TRUE(filesIn(QStringLiteral("new")).isEmpty());
    EXPECT_TRUE(filesIn(QStringLiteral("tmp")).isEmpty());

    // Nothing was delivered, so the same item may go once the file is back.
    writeRandomFile(QStringLiteral("gone.bin"), 1000);
    item->Send();
    EXPECT_EQ(filesIn(QStringLiteral("new")).size(), 1);
}

TEST_F(OutboxFailureTest, AWriteErrorFailsNamingTheMessageFileAndLeavesNothingBehind)
{
    const QString big = writeRandomFile(QStringLiteral("big.bin"), 2 * 1024 * 1024);
    const QString tmp = outboxPath + QStringLiteral("/tmp");
    // A file size limit makes writes fail like a full disk would, in a child process only.
    const int result = runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {256 * 1024, 256 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        auto item = outbox.CreateItem();
        item->addAttachment(big);
        const QString failure = failureOf([&] { item->Send(); });
        if (!failure.contains(tmp) || !failure.contains(QStringLiteral("File too large")))
            return 3;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(filesIn(QStringLiteral("new")).isEmpty());
    EXPECT_TRUE(filesIn(QStringLiteral("tmp")).isEmpty());
}

TEST_F(OutboxFailureTest, AnUnusableTmpFolderFailsNamingIt)
{
    const QString tmp = outboxPath + QStringLiteral("/tmp");
    ASSERT_TRUE(QDir(tmp).removeRecursively());
    QFile(tmp).open(QIODevice::WriteOnly); // a file where the folder should be

    auto item = outbox.CreateItem();
    item->setSubject(QStringLiteral("nowhere to go"));
    const QString failure = failureOf([&] { item->Send(); });
    EXPECT_TRUE(failure.contains(tmp)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("Not a directory")));
    EXPECT_TRUE(filesIn(QStringLiteral("new")).isEmpty());
}

TEST_F(OutboxFailureTest, AnItemIsSpentAfterSend)
{
    auto item = outbox.CreateItem();
    item->setSubject(QStringLiteral("once"));
    item->Send();
    EXPECT_THROW(item->Send(), Failure);
    EXPECT_THROW(item->addAttachment(writeFile(QStringLiteral("late"), "x")), Failure);
    EXPECT_THROW(item->setSubject(QStringLiteral("twice")), Failure);
    EXPECT_EQ(item->Subject(), QStringLiteral("once"));
    EXPECT_EQ(filesIn(QStringLiteral("new")).size(), 1);
}

} // namespace
