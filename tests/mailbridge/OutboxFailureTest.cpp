#include "OutboxFixture.h"
#include "mailbridge/TransferMonitor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OutboxFailureTest = OutboxFixture;

TEST_F(OutboxFailureTest, FilingRejectsWhatIsNotARegularFileAtOnce)
{
    const QString fifo = dir.filePath("pipe");
    const QString folder = dir.filePath("a folder");
    QDir().mkpath(folder);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    QElapsedTimer timer;
    timer.start();
    const QString kept = writeFile("kept.txt", "kept");
    for (const auto &[path, reason] : std::initializer_list<std::pair<QString, const char *>>{
             {fifo, "not a regular file"},
             {dir.filePath("missing.txt"), "No such file or directory"},
             {folder, "not a regular file"}}) {
        Draft draft;
        draft.attachmentPaths << kept << path;
        const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
        EXPECT_TRUE(failure.contains(path) && failure.contains(reason)) << failure;
    }
    // Opening it would block for ever; the bound leaves room for sanitizers on a busy machine.
    EXPECT_LT(timer.elapsed(), 20'000) << "a FIFO without writer must not block";
    EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList()) << "nothing of a refused draft";
}

TEST_F(OutboxFailureTest, FilingRejectsAnUnreadableFile)
{
    const QString path = writeFile("secret.txt", "secret");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const auto attempt = [&] {
        Draft draft;
        draft.attachmentPaths << path;
        const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
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
    Draft draft;
    draft.attachmentPaths << writeRandomFile("kept.bin", 200'000);
    const QString gone = writeRandomFile("gone.bin", 1000);
    draft.attachmentPaths << gone;
    ASSERT_TRUE(QFile::remove(gone));

    const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
    EXPECT_TRUE(failure.contains(gone) && failure.contains("No such file or directory")) << failure;
    EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList());

    // Nothing was delivered, so the same draft may go once the file is back.
    writeRandomFile("gone.bin", 1000);
    outbox.file(draft, TransferMonitor::none());
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
        Draft draft;
        draft.attachmentPaths << big;
        const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
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

    Draft draft;
    draft.subject = "nowhere to go";
    const QString failure = failureOf([&] { outbox.file(draft, TransferMonitor::none()); });
    EXPECT_TRUE(failure.contains(tmp) && failure.contains("Not a directory")) << failure;
    EXPECT_TRUE(filesIn("new").isEmpty());
}

// Runs body in a child process as the user nobody when this process is root, for whom
// permissions do not hold; returns its exit code. `owned` is handed to nobody first, and the
// temporary folder opened for passing through.
int runAsUnprivileged(const QTemporaryDir &dir, const QString &owned,
                      const std::function<int()> &body)
{
    if (::geteuid() != 0)
        return runInChild(body);
    constexpr uid_t nobody = 65534;
    if (::chmod(QFile::encodeName(dir.path()).constData(), 0711) != 0 ||
        ::chown(QFile::encodeName(owned).constData(), nobody, nobody) != 0)
        return 90;
    return runInChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            return 91;
        return body();
    });
}

TEST_F(OutboxFailureTest, AFolderNotSyncedAfterFilingReportsTheMessageAsFiled)
{
    const QString home = dir.filePath("home");
    const QString folder = home + "/Outbox";
    ASSERT_TRUE(QDir().mkpath(home));
    const QString report = home + "/report";
    // new/ may be written to but not read: the move into it works, opening it to sync does not.
    const int result = runAsUnprivileged(dir, home, [&] {
        MaildirOutbox unprivileged(folder);
        if (::chmod(QFile::encodeName(folder + "/new").constData(), 0300) != 0)
            return 2;
        Draft draft;
        draft.subject = "filed";
        const QString filed =
            failureOf<FiledWithFailure>([&] { unprivileged.file(draft, TransferMonitor::none()); });
        ::writeFile(report, filed.toUtf8());
        return filed.isEmpty() ? 3 : 0;
    });
    EXPECT_EQ(result, 0);
    const QString description = QString::fromUtf8(fileBytes(report));
    for (const QString &part :
         QStringList{"is in the outbox", folder + "/new", "Permission denied", "power cut"})
        EXPECT_TRUE(description.contains(part)) << description;
    ASSERT_EQ(::chmod(QFile::encodeName(folder + "/new").constData(), 0700), 0);
    const QStringList sent = QDir(folder + "/new").entryList(QDir::Files);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(description.contains(sent[0])) << "names the filed message";
    EXPECT_TRUE(QDir(folder + "/tmp").isEmpty());
}

// Where renameat2 cannot refuse to replace, another message taking the name at that moment
// must keep its content: link() refuses to replace as well, and without link() the message
// is not filed at all.
TEST_F(OutboxFailureTest, AMoveIntoNewNeverReplacesAMessageThere)
{
    struct Case
    {
        const char *name;
        bool linkAllowed;
        int exitCode;
        int filesInNew;
    };
    for (const Case &row :
         {Case{"link refused too", false, 1, 1}, Case{"link works", true, 0, 2}}) {
        SCOPED_TRACE(row.name);
        QTemporaryDir other;
        const QString folder = other.filePath("Outbox");
        QProcess sender;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", REFUSED_MOVES);
        // A sanitized build's runtime would object to a library preloaded before it.
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        if (row.linkAllowed)
            environment.insert("FERRYMAIL_TEST_ALLOW_LINK", "1");
        sender.setProcessEnvironment(environment);
        sender.start(OUTBOX_SENDER, {folder, "1", "message", writeFile("payload", "payload")});
        ASSERT_TRUE(sender.waitForFinished(60'000));
        const QString errors = QString::fromLocal8Bit(sender.readAllStandardError());
        EXPECT_EQ(sender.exitCode(), row.exitCode) << errors;

        const QDir sent(folder + "/new");
        const QStringList names = sent.entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(names.size(), row.filesInNew) << errors;
        int untouched = 0;
        for (const QString &name : names)
            untouched += fileBytes(sent.filePath(name)) == "already here";
        EXPECT_EQ(untouched, 1);
        EXPECT_TRUE(QDir(folder + "/tmp").isEmpty());
        if (!row.linkAllowed) {
            EXPECT_TRUE(errors.contains("was not put into the outbox")) << errors;
        }
    }
}

} // namespace
