#include "mailbridge/sendmail/SendmailOutbox.h"
#include "ParsedMessage.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <signal.h>
#include <thread>

namespace {

// Cancels once the file named appears, that is once the command has started its work.
class CancelWhenFileAppears : public TransferMonitor
{
public:
    explicit CancelWhenFileAppears(QString path) : m_path(std::move(path)) {}
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override { return QFile::exists(m_path); }

private:
    QString m_path;
};

class SendmailOutboxTest : public testing::Test
{
protected:
    Draft draft(const QStringList &files = {})
    {
        Draft d;
        d.to = "Ann <ann@example.org>";
        d.from = "me@example.org";
        d.subject = "files 1";
        d.attachmentPaths = files;
        return d;
    }
    QTemporaryDir dir;
};

TEST_F(SendmailOutboxTest, PipesTheWholeMessageAndTheArgumentsAsWritten)
{
    const QByteArray bytes = randomBytes(300 * 1024, 7);
    const QString file = writeFile(dir.filePath("a.bin"), bytes);
    // Quotes and a redirection: the command reaches the shell exactly as written.
    const QString command = QStringLiteral("cat > '%1' && printf '%s|' \"$@\" -t -oi > '%2'")
                                .arg(dir.filePath("message"), dir.filePath("args"));
    SendmailOutbox outbox(command);
    outbox.file(draft({file}), TransferMonitor::none());
    EXPECT_EQ(fileBytes(dir.filePath("args")), "-t|-oi|");
    const ParsedMessage message = parseMessageFile(dir.filePath("message"));
    EXPECT_EQ(message.subject, "files 1");
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].bytes, bytes);
    EXPECT_FALSE(message.raw.contains("\r\n")) << "a local program reads lines ending in LF";
    EXPECT_FALSE(message.raw.contains("\nBcc:"));
}

TEST_F(SendmailOutboxTest, AFailingCommandSaysItsStatusAndItsErrorsEscapedAndCapped)
{
    SendmailOutbox outbox(
        "cat > /dev/null; { printf 'queue full\\033[2J\\n'; head -c 100000 /dev/zero | tr '\\0' "
        "x; } >&2; exit 75");
    const QString failure = failureOf([&] { outbox.file(draft(), TransferMonitor::none()); });
    EXPECT_TRUE(failure.contains("exit status 75")) << failure;
    EXPECT_TRUE(failure.contains("queue full\\x1b[2J")) << failure;
    EXPECT_FALSE(failure.contains(QChar(0x1b)));
    EXPECT_LT(failure.size(), 3000) << "the error output is capped";
    EXPECT_TRUE(failure.contains("more bytes")) << failure.right(200);
    // Not a PerhapsFiled: the program said it did not take the message.
    try {
        outbox.file(draft(), TransferMonitor::none());
        ADD_FAILURE() << "exit status 75 passed";
    } catch (const PerhapsFiled &) {
        ADD_FAILURE() << "a refusal was taken for a lost answer";
    } catch (const Failure &) {
    }
}

TEST_F(SendmailOutboxTest, AMailProgramKilledAfterTheWholeMessageMayHaveSent)
{
    // Killed inside the shell, which then exits 137: the program may have queued it already.
    SendmailOutbox viaShell("sh -c 'cat > /dev/null; kill -KILL $$'; exit $?");
    const QString failure =
        failureOf<PerhapsFiled>([&] { viaShell.file(draft(), TransferMonitor::none()); });
    EXPECT_TRUE(failure.startsWith("May have been sent")) << failure;
    EXPECT_TRUE(failure.contains("signal 9")) << failure;

    SendmailOutbox itself("cat > /dev/null; kill -TERM $$");
    EXPECT_TRUE(failureOf<PerhapsFiled>([&] {
                    itself.file(draft(), TransferMonitor::none());
                }).contains("signal 15"));
}

TEST_F(SendmailOutboxTest, ACommandThatStopsReadingEarlyFails)
{
    const QString file = writeFile(dir.filePath("big.bin"), randomBytes(4 * 1024 * 1024, 3));
    SendmailOutbox outbox("head -c 10 > /dev/null; echo nope >&2; exit 1");
    const QString failure = failureOf([&] { outbox.file(draft({file}), TransferMonitor::none()); });
    EXPECT_TRUE(failure.contains("nope")) << failure;
}

TEST_F(SendmailOutboxTest, CancelStopsAHangingCommandAndEverythingItStarted)
{
    // Takes the whole message, then hangs in a child of its own: the message may have gone.
    const QString marker = dir.filePath("started");
    const QString pidFile = dir.filePath("pid");
    SendmailOutbox outbox(
        QStringLiteral("cat > /dev/null; sleep 600 & echo $! > '%1'; touch '%2'; wait")
            .arg(pidFile, marker));
    CancelWhenFileAppears monitor(marker);
    const auto start = std::chrono::steady_clock::now();
    bool cancelled = false;
    const QString failure = failureOf<PerhapsFiled>([&] {
        try {
            outbox.file(draft(), monitor);
        } catch (const PerhapsFiled &perhaps) {
            cancelled = perhaps.cancelled();
            throw;
        }
    });
    EXPECT_TRUE(failure.startsWith("May have been sent")) << failure;
    EXPECT_TRUE(cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    const pid_t sleeper = pid_t(fileBytes(pidFile).trimmed().toInt());
    ASSERT_GT(sleeper, 0);
    // The sleeping grandchild went with the group (it may linger as a zombie of init briefly).
    for (int i = 0; i < 200 && ::kill(sleeper, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(::kill(sleeper, 0), 0) << "the command's own child outlived the cancel";
}

TEST_F(SendmailOutboxTest, AHangingCommandWithTheWholeMessageMayHaveSent)
{
    SendmailOutbox outbox("cat > /dev/null; exec sleep 600", std::chrono::milliseconds(200));
    const QString failure =
        failureOf<PerhapsFiled>([&] { outbox.file(draft(), TransferMonitor::none()); });
    EXPECT_TRUE(failure.startsWith("May have been sent")) << failure;
}

TEST_F(SendmailOutboxTest, CancelBeforeTheCommandHasTheMessageSendsNothing)
{
    const QString file = writeFile(dir.filePath("big.bin"), randomBytes(8 * 1024 * 1024, 5));
    const QString marker = dir.filePath("started");
    // Never reads: the message cannot be handed over whole.
    SendmailOutbox outbox(QStringLiteral("touch '%1'; exec sleep 600").arg(marker));
    CancelWhenFileAppears monitor(marker);
    bool cancelled = false;
    try {
        outbox.file(draft({file}), monitor);
    } catch (const SendCancelled &) {
        cancelled = true;
    }
    EXPECT_TRUE(cancelled);
}

TEST(SendmailCommand, LineBreaksAndNulAreRefusedNamingTheSetting)
{
    for (const QString &command : {QStringLiteral("sendmail -t\n-oi"), QStringLiteral("a\rb"),
                                   QStringLiteral("a") + QChar(0) + "b", QString()}) {
        const QString failure = failureOf([&] { SendmailOutbox{command}; });
        EXPECT_TRUE(failure.contains("SendmailCommand")) << failure;
    }
}

} // namespace
