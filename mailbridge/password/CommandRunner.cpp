#include "mailbridge/password/CommandRunner.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Both ends of a pipe, closed when it goes.
struct Pipe
{
    int read = -1;
    int write = -1;
    Pipe()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw Failure(QStringLiteral("Cannot start a command: %1")
                              .arg(QString::fromLocal8Bit(std::strerror(errno))));
        read = ends[0];
        write = ends[1];
    }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    void closeRead()
    {
        if (read >= 0)
            ::close(read);
        read = -1;
    }
    void closeWrite()
    {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
};

struct SpawnActions
{
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct SpawnAttributes
{
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

// The command's process group: stopped and its leader reaped when this goes, however the
// run ends, so nothing it started lives on. The leader is reaped only after the group is
// stopped: until then its number cannot go to another process group.
class ChildGroup
{
public:
    explicit ChildGroup(pid_t pid) : m_pid(pid) {}
    ~ChildGroup()
    {
        ::kill(-m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    ChildGroup(const ChildGroup &) = delete;
    ChildGroup &operator=(const ChildGroup &) = delete;

    // Whether the leader has ended, left unreaped; how in exitCode (-1: by a signal).
    bool ended(int &exitCode) const
    {
        siginfo_t info{};
        if (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid != m_pid)
            return false;
        exitCode = info.si_code == CLD_EXITED ? info.si_status : -1;
        return true;
    }

private:
    pid_t m_pid;
};

// Reads what is there into into, up to cap bytes; false once the pipe is closed or the cap
// is passed (overflow is then set). With discard, bytes past the cap are read and dropped.
bool drain(Pipe &pipe, QByteArray &into, qsizetype cap, bool &overflow, bool discard = false)
{
    if (pipe.read < 0)
        return false;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(pipe.read, buffer, sizeof buffer);
        if (got > 0) {
            if (into.size() + got > cap) {
                overflow = true;
                if (discard)
                    continue;
                pipe.closeRead();
                return false;
            }
            into.append(buffer, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        pipe.closeRead();
        return false;
    }
}

} // namespace

QString firstOutputLine(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf('\n');
    QByteArray line = end < 0 ? bytes : bytes.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

CommandResult runCommand(const QString &command, const QString &intro, const CommandLimits &limits,
                         const std::function<bool()> &cancelled)
{
    Pipe out;
    Pipe err;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(&actions.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions.actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions.actions, err.write, STDERR_FILENO);
    SpawnAttributes attributes;
    // A group of its own: stopping the group stops what the command started, and the
    // terminal's Ctrl+C reaches this program, which decides.
    posix_spawnattr_setpgroup(&attributes.attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int number : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGQUIT})
        sigaddset(&defaults, number);
    posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                         POSIX_SPAWN_SETSIGMASK);

    const QByteArray script = command.toLocal8Bit();
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char *argv[] = {shell, dashC, const_cast<char *>(script.constData()), nullptr};
    pid_t pid = -1;
    if (const int error =
            ::posix_spawn(&pid, shell, &actions.actions, &attributes.attributes, argv, environ))
        throw Failure(QStringLiteral("%1 could not be started: %2")
                          .arg(intro, QString::fromLocal8Bit(std::strerror(error))));
    ChildGroup group(pid);
    out.closeWrite();
    err.closeWrite();
    ::fcntl(out.read, F_SETFL, O_NONBLOCK);
    ::fcntl(err.read, F_SETFL, O_NONBLOCK);

    CommandResult result;
    bool overflow = false;
    int exitCode = 0;
    const auto deadline = std::chrono::steady_clock::now() + limits.timeout;
    for (;;) {
        if (cancelled && cancelled())
            throw SendCancelled();
        bool errorsOverflow = false;
        drain(out, result.output, limits.outputCap, overflow);
        drain(err, result.errors, limits.outputCap, errorsOverflow, true);
        if (overflow)
            break;
        // Once the command itself has ended, what it left running must not hold the pipes.
        if (group.ended(exitCode)) {
            drain(out, result.output, limits.outputCap, overflow);
            drain(err, result.errors, limits.outputCap, errorsOverflow, true);
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            throw Failure(QStringLiteral("%1 did not finish within %2 seconds and was stopped. "
                                         "Check that it does not wait for input.")
                              .arg(intro)
                              .arg(double(limits.timeout.count()) / 1000.0));
        pollfd waiting[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        const auto slice = std::min(limits.cancelSlice,
                                    std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
        ::poll(waiting, 2, int(slice.count()));
    }
    if (overflow)
        throw Failure(QStringLiteral("%1 printed more than %2 KiB and was stopped: it should "
                                     "print one line.")
                          .arg(intro)
                          .arg(limits.outputCap / 1024));
    result.crashed = exitCode < 0;
    result.exitCode = exitCode;
    return result;
}
