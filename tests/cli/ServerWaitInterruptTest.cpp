#include "support/TestTools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

// A port on 127.0.0.1 that takes connections and never says a word: an IMAP server that
// hangs before its greeting.
class SilentServer
{
public:
    SilentServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer()
    {
        for (const int client : m_clients)
            ::close(client);
        ::close(m_fd);
    }
    int port() const { return m_port; }
    // How many clients have connected; each waits for ever, for nothing is ever said to it.
    int calls()
    {
        pollfd waiting{m_fd, POLLIN, 0};
        while (::poll(&waiting, 1, 0) == 1) {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                break;
            m_clients.push_back(client);
        }
        return int(m_clients.size());
    }

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_clients;
};

// `ferrymail send` into an IMAP account whose server, or password command, keeps it
// waiting: Ctrl+C and SIGTERM must end it within a second, with their exit codes.
class ServerWaitInterruptTest : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        writeFile(folder + "/a.bin", randomBytes(1000, 3));
        environment.insert("XDG_CONFIG_HOME", temp.filePath("config"));
        environment.insert("XDG_DATA_HOME", temp.filePath("data"));
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("DBUS_SESSION_BUS_ADDRESS"); // no keyring to ask
        environment.insert("WAITING_MARK", mark);
    }

    // Written by hand, as a person edits the file: the command line stands as it is.
    void configure(const QString &passwordCommand)
    {
        ASSERT_TRUE(QDir().mkpath(temp.filePath("config/Ferrymail")));
        writeFile(temp.filePath("config/Ferrymail/Ferrymail.conf"),
                  QStringLiteral("[MailClient]\nKind=imap\nImapHost=127.0.0.1\nImapPort=%1\n"
                                 "ImapSecurity=none\nImapUser=me\nPasswordCommand=%2\n")
                      .arg(server.port())
                      .arg(passwordCommand)
                      .toUtf8());
    }

    // Starts the Send, signals it once it waits, and gives how long the end took.
    qint64 interrupt(int signal, int &exitCode)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        QFile::remove(mark);
        const int callsBefore = server.calls();
        process.start(FERRYMAIL_BINARY, {"send", "--to", "ann@example.org", "--from",
                                         "me@example.org", "--all", folder});
        EXPECT_TRUE(process.waitForStarted());
        // It waits once it has called the server, or started the password command.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return server.calls() > callsBefore || QFile::exists(mark); }, 30000));
        const auto pid = pid_t(process.processId());
        // A process that already ended has no id: kill(0) would signal this whole group.
        if (process.state() != QProcess::Running || pid <= 0) {
            ADD_FAILURE() << "it should be waiting: "
                          << process.readAllStandardError().toStdString();
            return -1;
        }
        QElapsedTimer timer;
        timer.start();
        ::kill(pid, signal);
        EXPECT_TRUE(process.waitForFinished(20000));
        exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return timer.elapsed();
    }

    QTemporaryDir temp;
    const QString folder = temp.filePath("files");
    const QString mark = temp.filePath("waiting");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    SilentServer server;
};

TEST_P(ServerWaitInterruptTest, EndsWithinASecondWithTheSignalsExitCode)
{
    configure(QString::fromUtf8(GetParam()));
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        int exitCode = -1;
        const qint64 took = interrupt(signal, exitCode);
        EXPECT_EQ(exitCode, 128 + signal);
        // Within a second as promised, with room for sanitizers on a busy machine: a wait the
        // signal did not end would last the 30 s of the command or the server's silence.
        EXPECT_LT(took, 5000) << "ms from the signal to the end";
    }
}

INSTANTIATE_TEST_SUITE_P(Waits, ServerWaitInterruptTest,
                         ::testing::Values("echo secret",
                                           "touch $WAITING_MARK; sleep 30; echo secret"),
                         [](const auto &info) {
                             return std::string(info.index == 0 ? "ForTheGreeting"
                                                                : "ForThePasswordCommand");
                         });

} // namespace
