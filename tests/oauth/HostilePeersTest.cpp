#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/oauth/CommandTokenSource.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/password/PasswordCommand.h"
#include "support/PeakMemory.h"
#include "support/TestTools.h"
#include "support/oauth/AuthorizationServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

// The peak resident memory of this process so far, in KiB, as /proc keeps it.
long peakKiB()
{
    QFile status("/proc/self/status");
    EXPECT_TRUE(status.open(QIODevice::ReadOnly));
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Says true from the calls-th question on: a cancel that comes while the work waits.
std::function<bool()> cancelAfter(int calls)
{
    auto asked = std::make_shared<int>(0);
    return [asked, calls] { return ++*asked >= calls; };
}

TEST(HostileTokenEndpoint, ADripOrAFloodEndsAtTheDeadlineOrTheCapAndEscapesAreShownAsText)
{
    AuthorizationServer server;
    QUrlQuery form;
    form.addQueryItem("grant_type", "refresh_token");
    TokenRequestLimits limits;
    limits.deadline = std::chrono::seconds(3);

    // One byte a second would restart Qt's own transfer timeout for ever.
    const QString drip =
        failureOf([&] { requestToken(server.url("/hostile/drip"), form, limits); });
    EXPECT_TRUE(drip.contains("did not answer the token request within 3 seconds")) << drip;

    const long before = peakKiB();
    const QString flood =
        failureOf([&] { requestToken(server.url("/hostile/endless"), form, limits); });
    EXPECT_TRUE(flood.contains("more than 64 KiB")) << flood;
    // Without the cap the three seconds would have buffered gigabytes.
    if (peakMemoryTellsWhatIsKept) {
        EXPECT_LT(peakKiB() - before, 64 * 1024) << "KiB more at the peak";
    }

    const QString escapes =
        failureOf([&] { requestToken(server.url("/hostile/escapes"), form, limits); });
    EXPECT_FALSE(escapes.contains(QChar(0x1b))) << escapes;
    EXPECT_FALSE(escapes.contains(QChar('\r'))) << escapes;
    EXPECT_TRUE(escapes.contains("\\x1b[2K\\rEvery message was filed.")) << escapes;

    const QString injected =
        failureOf([&] { requestToken(server.url("/hostile/control-token"), form, limits); });
    EXPECT_TRUE(injected.contains("The sign-in server 127.0.0.1")) << injected;
    EXPECT_TRUE(injected.contains("control character")) << injected;
    EXPECT_FALSE(injected.contains("LOGOUT")) << "the token itself is not shown";
}

TEST(HostileTokenEndpoint, ACancelEndsTheWaitAtOnce)
{
    AuthorizationServer server;
    for (const char *how : {"/hostile/drip", "/hostile/late"}) {
        SCOPED_TRACE(how);
        EXPECT_THROW(requestToken(server.url(how), QUrlQuery(), {}, cancelAfter(10)),
                     SendCancelled);
    }
}

TEST(HelperCommands, OutputPastTheCapOrAControlCharacterIsRefusedAndNamed)
{
    const long before = peakKiB();
    const QString flood =
        failureOf([] { runFirstLineCommand("yes", "token", std::chrono::seconds(10)); });
    EXPECT_TRUE(flood.contains("The token command \"yes\" printed more than 64 KiB")) << flood;
    if (peakMemoryTellsWhatIsKept) {
        EXPECT_LT(peakKiB() - before, 16 * 1024) << "KiB more at the peak";
    }

    const QString control = failureOf(
        [] { runPasswordCommand("printf 'pass\\033[2Kword\\n'", std::chrono::seconds(10)); });
    EXPECT_TRUE(control.contains("The password command \"printf")) << control;
    EXPECT_TRUE(control.contains("control character")) << control;
    EXPECT_FALSE(control.contains(QChar(0x1b))) << "nothing of it reaches a terminal raw";

    // What a command says on its error output is one plain line.
    const QString said = failureOf([] {
        runPasswordCommand("printf 'no\\033]0;x\\007\\n' >&2; exit 3", std::chrono::seconds(10));
    });
    EXPECT_TRUE(said.contains("exit status 3: no\\x1b]0;x\\x07")) << said;

    // Only the first line is the token; a trailing CR is the line end's.
    EXPECT_EQ(runFirstLineCommand("printf 'tok\\r\\nmore\\n'", "token", std::chrono::seconds(10)),
              "tok");
    EXPECT_EQ(CommandTokenSource("echo at-1").accessToken(false), "at-1");
}

TEST(HelperCommands, ACancelOrTheEndStopsEverythingTheCommandStarted)
{
    QTemporaryDir folder;
    const QString pids = folder.filePath("pids");
    const auto alive = [](const QByteArray &pid) {
        return QFile::exists("/proc/" + QString::fromLatin1(pid.trimmed()));
    };
    const auto allGone = [&] {
        const QList<QByteArray> started = fileBytes(pids).trimmed().split('\n');
        QElapsedTimer waited;
        waited.start();
        // Ended children are reaped by whoever adopted them; wait for that, not a time.
        for (const QByteArray &pid : started)
            while (alive(pid) && waited.elapsed() < 10'000)
                QTest::qWait(20);
        for (const QByteArray &pid : started)
            EXPECT_FALSE(alive(pid)) << pid.toStdString();
    };

    // A command that leaves a child behind and then prints.
    const QString leaves = QStringLiteral("sleep 100 & echo $! > '%1'; echo secret").arg(pids);
    EXPECT_EQ(runPasswordCommand(leaves, std::chrono::seconds(10)), "secret");
    allGone();

    // A command that waits, cancelled while it waits.
    const QString waits = QStringLiteral("sleep 100 & echo $! > '%1'; wait").arg(pids);
    EXPECT_THROW(runPasswordCommand(waits, std::chrono::seconds(30), cancelAfter(5)),
                 SendCancelled);
    allGone();

    // The same at the timeout.
    const QString late =
        failureOf([&] { runFirstLineCommand(waits, "token", std::chrono::milliseconds(500)); });
    EXPECT_TRUE(late.contains("did not finish within 0.5 seconds")) << late;
    allGone();
}

// `ferrymail send` as a script runs it, with settings of the test's.
struct ProgramRun
{
    int exitCode = -1;
    int signal = 0;
    long peakKiB = 0;
    double secondsAfterSignal = -1;
    QByteArray err;
};

class HostileHelpers : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder.filePath("files")));
        writeFile(folder.filePath("files/a.bin"), randomBytes(300, 4));
        ASSERT_TRUE(QDir().mkpath(folder.filePath("config/Ferrymail")));
    }

    void settings(const QString &mailClient)
    {
        writeFile(folder.filePath("config/Ferrymail/Ferrymail.conf"),
                  ("[MailClient]\nKind=imap\nImapHost=127.0.0.1\nImapPort=1\n"
                   "ImapSecurity=none\nImapUser=me\n" +
                   mailClient + "\n")
                      .toUtf8());
    }

    // Runs the program; once its helper command runs (a child appeared), sends signal when
    // set. Waits for its end, however long the helper would take.
    ProgramRun run(int signal)
    {
        const QByteArray config = "XDG_CONFIG_HOME=" + folder.filePath("config").toLocal8Bit();
        const QByteArray data = "XDG_DATA_HOME=" + folder.filePath("data").toLocal8Bit();
        std::vector<QByteArray> environment;
        for (char **entry = environ; *entry; ++entry) {
            const QByteArray line(*entry);
            for (const char *dropped : {"XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "DISPLAY=",
                                        "WAYLAND_DISPLAY=", "DBUS_SESSION_BUS_ADDRESS="})
                if (line.startsWith(dropped))
                    goto next;
            environment.push_back(line);
        next:;
        }
        environment.push_back(config);
        environment.push_back(data);
        // No session bus: what a script over ssh meets.
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent");
        std::vector<char *> envp;
        for (QByteArray &line : environment)
            envp.push_back(line.data());
        envp.push_back(nullptr);
        const QByteArray files = folder.filePath("files").toLocal8Bit();
        std::vector<const char *> argv = {
            FERRYMAIL_BINARY, "send",           "--to",  "ann@example.org",
            "--from",         "me@example.org", "--all", files.constData(),
            nullptr};
        pid_t pid = -1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const QByteArray errors = folder.filePath("stderr").toLocal8Bit();
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        const int spawned = posix_spawn(&pid, FERRYMAIL_BINARY, &actions, &attributes,
                                        const_cast<char **>(argv.data()), envp.data());
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0);
        ProgramRun result;
        QElapsedTimer sinceSignal;
        if (signal != 0) {
            const QString children = QStringLiteral("/proc/%1/task/%1/children").arg(pid);
            QElapsedTimer waited;
            waited.start();
            while (fileBytes(children).trimmed().isEmpty() && waited.elapsed() < 30'000)
                QTest::qWait(10);
            EXPECT_FALSE(fileBytes(children).trimmed().isEmpty()) << "the helper never ran";
            sinceSignal.start();
            ::kill(pid, signal);
        }
        int status = 0;
        rusage usage{};
        while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        if (signal != 0)
            result.secondsAfterSignal = double(sinceSignal.nsecsElapsed()) / 1e9;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        result.peakKiB = usage.ru_maxrss; // the child's VmHWM at its end
        result.err = fileBytes(folder.filePath("stderr"));
        return result;
    }

    QTemporaryDir folder;
};

TEST_F(HostileHelpers, ASignalStopsAWaitingHelperWithItsExitCode)
{
    const struct
    {
        const char *mailClient;
        int signal;
        int exitCode;
    } rows[] = {
        {"ImapAuth=oauth2\nOAuth2Provider=custom\nOAuth2AuthorizeUrl=http://127.0.0.1:1/a\n"
         "OAuth2TokenUrl=http://127.0.0.1:1/t\nOAuth2Scope=imap\nTokenCommand=sleep 100",
         SIGINT, 130},
        {"ImapAuth=oauth2\nOAuth2Provider=custom\nOAuth2AuthorizeUrl=http://127.0.0.1:1/a\n"
         "OAuth2TokenUrl=http://127.0.0.1:1/t\nOAuth2Scope=imap\nTokenCommand=sleep 100",
         SIGTERM, 143},
        {"PasswordCommand=sleep 100", SIGINT, 130},
        {"PasswordCommand=sleep 100", SIGTERM, 143},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.mailClient);
        settings(row.mailClient);
        const ProgramRun ran = run(row.signal);
        EXPECT_EQ(ran.exitCode, row.exitCode);
        std::printf("[ figure ] %s, signal %d: exit %d, %.3f s after the signal\n",
                    QByteArray(row.mailClient).split('\n').last().constData(), row.signal,
                    ran.exitCode, ran.secondsAfterSignal);
    }
}

TEST_F(HostileHelpers, AFloodingHelperIsStoppedWithinTheCap)
{
    for (const char *mailClient :
         {"ImapAuth=oauth2\nOAuth2Provider=custom\nOAuth2AuthorizeUrl=http://127.0.0.1:1/a\n"
          "OAuth2TokenUrl=http://127.0.0.1:1/t\nOAuth2Scope=imap\nTokenCommand=yes",
          "PasswordCommand=yes"}) {
        SCOPED_TRACE(mailClient);
        settings(mailClient);
        const ProgramRun ran = run(0);
        EXPECT_EQ(ran.exitCode, 1);
        EXPECT_LT(ran.peakKiB, 256 * 1024);
        std::printf("[ figure ] %s: peak %ld KiB\n",
                    QByteArray(mailClient).split('\n').last().constData(), ran.peakKiB);
    }
}

// Over ssh no keyring answers: that is what the command line says, not that the sign-in
// expired.
TEST_F(HostileHelpers, NoKeyringReachableIsSaidAsSuch)
{
    settings("ImapAuth=oauth2\nOAuth2Provider=custom\nOAuth2AuthorizeUrl=http://127.0.0.1:1/a\n"
             "OAuth2TokenUrl=http://127.0.0.1:1/t\nOAuth2Scope=imap\nOAuth2ClientId=c");
    const ProgramRun ran = run(0);
    EXPECT_EQ(ran.exitCode, 1);
    EXPECT_TRUE(ran.err.contains("No keyring could be reached")) << ran.err.toStdString();
    EXPECT_FALSE(ran.err.contains("expired or was revoked")) << ran.err.toStdString();
}

} // namespace
