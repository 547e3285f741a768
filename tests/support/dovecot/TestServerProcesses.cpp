#include "TestServerProcesses.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(std::uint16_t(port));
    return address;
}

QString folderPrefix()
{
    const QByteArray build =
        QCryptographicHash::hash(FERRYMAIL_TEST_SERVER_MARK, QCryptographicHash::Sha1)
            .toHex()
            .left(10);
    return QDir::tempPath() + QStringLiteral("/ferrymail-test-") + QString::fromLatin1(build) +
           QLatin1Char('-');
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<pid_t> processIds()
{
    QList<pid_t> pids;
    for (const QString &name : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = name.toInt(&number);
        if (number)
            pids << pid;
    }
    return pids;
}

} // namespace

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    ::close(fd);
    if (!bound)
        throw std::runtime_error("no free port on 127.0.0.1");
    return ntohs(address.sin_port);
}

bool loopbackPortAnswers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

QString testServerFolderTemplate(const QString &kind)
{
    return folderPrefix() + kind + QStringLiteral("-XXXXXX");
}

QString unpackedServerRoot(const QString &name)
{
    QString cache = qEnvironmentVariable("FERRYMAIL_TEST_SERVERS");
    if (cache.isEmpty() && ::geteuid() == 0)
        cache = QStringLiteral("/var/cache/ferrymail/test-servers");
    if (cache.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_CACHE_HOME");
        if (base.isEmpty())
            base = QDir::homePath() + QStringLiteral("/.cache");
        cache = base + QStringLiteral("/ferrymail/test-servers");
    }
    return cache + QLatin1Char('/') + name;
}

ServerAccount serverAccount()
{
    const bool asRoot = ::geteuid() == 0;
    ServerAccount account{
        asRoot ? uid_t(65534) : ::geteuid(), asRoot ? gid_t(65534) : ::getegid(), {}, {}};
    const passwd *user = ::getpwuid(account.uid);
    const group *team = ::getgrgid(account.gid);
    if (!user || !team)
        throw std::runtime_error("no user or group for a test server to run as");
    account.user = QString::fromLocal8Bit(user->pw_name);
    account.group = QString::fromLocal8Bit(team->gr_name);
    return account;
}

void handFolderTo(const QString &folder, const ServerAccount &account)
{
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    if (account.uid == ::geteuid())
        return;
    const auto chownOne = [&](const QString &path) {
        if (::chown(QFile::encodeName(path).constData(), account.uid, account.gid) != 0)
            throw std::runtime_error("cannot hand " + path.toStdString() + " to " +
                                     account.user.toStdString());
    };
    chownOne(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        chownOne(it.next());
}

pid_t startServerProcess(const QString &program, const QStringList &arguments,
                         const QStringList &environment, const QString &logFile,
                         const QString &workingDirectory)
{
    // Everything is made before fork: the child of a threaded process may only exec.
    std::vector<QByteArray> strings = {QFile::encodeName(program)};
    for (const QString &argument : arguments)
        strings.push_back(argument.toLocal8Bit());
    const std::size_t argumentCount = strings.size();
    QList<QByteArray> given; // "NAME=": the given values replace this process's
    for (const QString &entry : environment) {
        strings.push_back(entry.toLocal8Bit());
        given << strings.back().left(strings.back().indexOf('=') + 1);
    }
    for (char **entry = environ; *entry; ++entry)
        if (std::none_of(given.begin(), given.end(), [&](const QByteArray &name) {
                return qstrncmp(*entry, name, name.size()) == 0;
            }))
            strings.emplace_back(*entry);
    std::vector<char *> argv, envp;
    for (std::size_t i = 0; i < strings.size(); ++i)
        (i < argumentCount ? argv : envp).push_back(strings[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const QByteArray log = QFile::encodeName(logFile);
    const QByteArray folder = QFile::encodeName(workingDirectory);

    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork for " + program.toStdString());
    if (pid == 0) {
        ::setsid();
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            ::_exit(126);
        const int fd = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

void killProcessGroup(pid_t group)
{
    ::kill(-group, SIGKILL);
    ::waitpid(group, nullptr, 0);
    // The processes of the group that were not its children go as well.
    for (int i = 0; i < 500 && !processesOfGroup(group).empty(); ++i)
        QThread::msleep(10);
}

void killProcessesWorkingIn(const QString &folder)
{
    const auto working = [&] {
        std::vector<pid_t> found;
        for (const pid_t pid : processIds()) {
            const QString cwd = QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
            if (cwd == folder || cwd.startsWith(folder + QLatin1Char('/')))
                found.push_back(pid);
        }
        return found;
    };
    for (int i = 0; i < 500; ++i) {
        const std::vector<pid_t> found = working();
        if (found.empty())
            return;
        for (const pid_t pid : found)
            ::kill(pid, SIGKILL);
        QThread::msleep(10);
    }
}

std::vector<pid_t> processesOfGroup(pid_t group)
{
    std::vector<pid_t> members;
    for (const pid_t pid : processIds()) {
        // "pid (name) state ppid pgrp ...": the name may hold spaces and brackets.
        const QByteArray stat = readWhole(QStringLiteral("/proc/%1/stat").arg(pid));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        // A zombie holds nothing any more; its parent has yet to reap it.
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toInt() == group)
            members.push_back(pid);
    }
    return members;
}

std::vector<std::string> testServersLeftRunning()
{
    std::vector<std::string> found;
    const QString prefix = folderPrefix();
    for (const pid_t pid : processIds()) {
        if (pid == ::getpid())
            continue;
        QByteArray command = readWhole(QStringLiteral("/proc/%1/cmdline").arg(pid));
        command.replace('\0', ' ');
        if (!QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)).startsWith(prefix) &&
            !command.contains(QFile::encodeName(prefix)))
            continue;
        found.push_back(std::to_string(pid) + ' ' + command.trimmed().toStdString());
    }
    return found;
}

std::vector<pid_t> groupMembersTheCheckMisses(pid_t group)
{
    const std::vector<pid_t> before = processesOfGroup(group);
    const std::vector<std::string> found = testServersLeftRunning();
    const std::vector<pid_t> after = processesOfGroup(group);
    std::vector<pid_t> missed;
    for (const pid_t pid : before) {
        const bool throughout = std::find(after.begin(), after.end(), pid) != after.end();
        const std::string line = std::to_string(pid) + ' ';
        const bool seen = std::any_of(found.begin(), found.end(), [&](const std::string &process) {
            return process.rfind(line, 0) == 0;
        });
        if (throughout && !seen)
            missed.push_back(pid);
    }
    return missed;
}
