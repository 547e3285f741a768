#include "mailbridge/sendmail/SendmailOutbox.h"

#include "common/CommandText.h"
#include "common/Failure.h"
#include "common/FileDescriptor.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/DraftContent.h"
#include "mailbridge/compose/MessageWriter.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int pollSlice = 50;                 // ms: how soon a cancel is seen
constexpr std::size_t keptErrorOutput = 2000; // enough to say why, short enough to show

// The command ended (or closed its input) before it had the whole message.
struct InputClosed
{
};

// One run of the command; stops it and all it started when dropped before it ended.
class CommandRun
{
public:
    explicit CommandRun(const QString &command)
    {
        int input[2];
        int errors[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0)
            throw Failure(
                describeSystemError(QStringLiteral("Cannot start the sendmail command"), errno));
        FileDescriptor inputChild(input[1]);
        m_input = FileDescriptor(input[0]);
        if (::pipe2(errors, O_CLOEXEC) != 0)
            throw Failure(
                describeSystemError(QStringLiteral("Cannot start the sendmail command"), errno));
        FileDescriptor errorsChild(errors[1]);
        m_errors = FileDescriptor(errors[0]);
        ::fcntl(m_errors.get(), F_SETFL, O_NONBLOCK);
        ::fcntl(m_input.get(), F_SETFL, O_NONBLOCK);

        // Everything the child needs is made before fork: after it only exec-safe calls.
        const QByteArray script = command.toUtf8();
        const char *argv[] = {"/bin/sh", "-c", script.constData(), nullptr};
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        FileDescriptor nullGuard(devNull);
        const pid_t pid = ::fork();
        if (pid < 0)
            throw Failure(
                describeSystemError(QStringLiteral("Cannot start the sendmail command"), errno));
        if (pid == 0) {
            // A group of its own, so that a stop reaches what the command started too.
            ::setpgid(0, 0);
            ::dup2(inputChild.get(), 0);
            ::dup2(devNull >= 0 ? devNull : errorsChild.get(), 1);
            ::dup2(errorsChild.get(), 2);
            ::signal(SIGPIPE, SIG_DFL);
            ::execv("/bin/sh", const_cast<char **>(argv));
            ::_exit(127);
        }
        ::setpgid(pid, pid); // also here, so the group exists before any kill
        m_pid = pid;
    }
    CommandRun(const CommandRun &) = delete;
    CommandRun &operator=(const CommandRun &) = delete;
    ~CommandRun() { stop(); }

    // Hands the bytes over, taking in error output meanwhile. Throws SendCancelled on a
    // cancel, InputClosed when the command no longer reads.
    void write(const char *data, std::size_t size, const TransferMonitor &monitor)
    {
        while (size > 0) {
            if (monitor.cancelRequested())
                throw SendCancelled();
            pollfd fds[2] = {{m_input.get(), POLLOUT, 0}, {m_errors.get(), POLLIN, 0}};
            const int ready = ::poll(fds, m_errors.isOpen() ? 2 : 1, pollSlice);
            if (ready < 0 && errno != EINTR)
                throw Failure(describeSystemError(
                    QStringLiteral("Cannot wait for the sendmail command"), errno));
            if (ready <= 0)
                continue;
            if (fds[1].revents)
                drainErrors();
            if (fds[0].revents & (POLLERR | POLLHUP))
                throw InputClosed();
            if (!(fds[0].revents & POLLOUT))
                continue;
            const ssize_t sent = ::send(m_input.get(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    continue;
                if (errno == EPIPE || errno == ECONNRESET)
                    throw InputClosed();
                throw Failure(describeSystemError(
                    QStringLiteral("Cannot write to the sendmail command"), errno));
            }
            data += sent;
            size -= std::size_t(sent);
        }
    }

    void closeInput() { m_input.reset(); }

    // Waits for the command's end and returns its wait status; nothing when cancelled or out of
    // time (it is stopped then).
    std::optional<int> wait(const TransferMonitor &monitor,
                            std::chrono::steady_clock::time_point deadline, bool &cancelled)
    {
        cancelled = false;
        for (;;) {
            int status = 0;
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_pid = -1;
                drainErrors();
                return status;
            }
            if (monitor.cancelRequested()) {
                cancelled = true;
                stop();
                return std::nullopt;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                stop();
                return std::nullopt;
            }
            pollfd fd = {m_errors.get(), POLLIN, 0};
            if (::poll(&fd, m_errors.isOpen() ? 1 : 0, pollSlice) > 0)
                drainErrors();
        }
    }

    const QByteArray &errors() const { return m_errorText; }
    std::size_t errorBytes() const { return m_errorBytes; }

private:
    void drainErrors()
    {
        char buffer[4096];
        while (m_errors.isOpen()) {
            const ssize_t got = ::read(m_errors.get(), buffer, sizeof buffer);
            if (got > 0) {
                m_errorBytes += std::size_t(got);
                const std::size_t room = keptErrorOutput - std::size_t(m_errorText.size());
                m_errorText.append(buffer, qsizetype(std::min(room, std::size_t(got))));
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR))
                m_errors.reset(); // closed: every writer has gone
            if (got < 0 && errno == EINTR)
                continue;
            return;
        }
    }

    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }

    pid_t m_pid = -1;
    FileDescriptor m_input;
    FileDescriptor m_errors;
    QByteArray m_errorText;
    std::size_t m_errorBytes = 0;
};

} // namespace

SendmailOutbox::SendmailOutbox(const QString &command, std::chrono::milliseconds patience)
    : m_command(command), m_patience(patience)
{
    if (m_command.trimmed().isEmpty())
        throw Failure(
            QStringLiteral("The setting SendmailCommand in section [MailClient] is empty: "
                           "name the program that sends mail, for example %1.")
                .arg(defaultCommand()));
    for (const QChar c : m_command)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            throw Failure(
                QStringLiteral("The setting SendmailCommand in section [MailClient] holds a "
                               "line break or NUL character; write the command on one line."));
}

QString SendmailOutbox::defaultCommand()
{
    return QStringLiteral("/usr/sbin/sendmail -t -oi");
}

QString SendmailOutbox::destination() const
{
    return QStringLiteral("this computer's mail program (%1)").arg(m_command);
}

void SendmailOutbox::file(const Draft &draft, TransferMonitor &monitor)
{
    if (monitor.cancelRequested())
        throw SendCancelled();
    const MessageContent content = draftContent(draft);
    const QString intro = QStringLiteral("The sendmail command \"%1\"").arg(m_command);
    CommandRun run(m_command);
    bool whole = false;
    try {
        streamMessage(content, LineEnding::Lf, monitor,
                      [&](const char *data, std::size_t size) { run.write(data, size, monitor); });
        run.closeInput();
        whole = true;
    } catch (const InputClosed &) {
        run.closeInput();
    }
    bool cancelled = false;
    const auto deadline =
        std::chrono::steady_clock::now() + (whole ? m_patience : std::chrono::milliseconds(5000));
    const std::optional<int> status = run.wait(monitor, deadline, cancelled);
    const QString said = readableCommandOutput(run.errors(), run.errorBytes());
    const QString because = said.isEmpty() ? QString() : QStringLiteral(": ") + said;
    if (!status) {
        if (!whole) {
            if (cancelled)
                throw SendCancelled();
            throw Failure(
                QStringLiteral("%1 stopped reading the message and did not end; it was stopped%2")
                    .arg(intro, because));
        }
        if (cancelled)
            throw PerhapsFiled(QStringLiteral("May have been sent: %1 had the whole message \"%2\" "
                                              "when the Send was stopped")
                                   .arg(intro, draft.subject),
                               true);
        throw PerhapsFiled(QStringLiteral("May have been sent: %1 had the whole message \"%2\" "
                                          "but did not finish within %3 seconds and was stopped%4")
                               .arg(intro, draft.subject)
                               .arg(double(m_patience.count()) / 1000.0)
                               .arg(because));
    }
    // The shell that runs the command reports a program of it killed by signal N as exit
    // status 128+N; mail programs' own failures are all below 128.
    const bool shellSawSignal = WIFEXITED(*status) && WEXITSTATUS(*status) > 128;
    if (WIFSIGNALED(*status) || shellSawSignal) {
        const int signal = WIFSIGNALED(*status) ? WTERMSIG(*status) : WEXITSTATUS(*status) - 128;
        const QString text =
            QStringLiteral("%1 was killed by signal %2%3").arg(intro).arg(signal).arg(because);
        if (whole)
            throw PerhapsFiled(QStringLiteral("May have been sent: ") + text);
        throw Failure(text);
    }
    const int code = WEXITSTATUS(*status);
    if (code != 0)
        throw Failure(QStringLiteral("%1 did not send \"%2\": it failed with exit status %3%4")
                          .arg(intro, draft.subject)
                          .arg(code)
                          .arg(because));
    if (!whole)
        throw Failure(QStringLiteral("%1 ended before it had read the whole message \"%2\"%3")
                          .arg(intro, draft.subject, because));
}
