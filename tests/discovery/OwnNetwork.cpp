#include "OwnNetwork.h"

#include "common/FileDescriptor.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void giveUp(const char *what)
{
    std::fprintf(stderr,
                 "Cannot give the DNS tests a network of their own: %s: %s\n"
                 "They need unprivileged user namespaces (sysctl "
                 "kernel.unprivileged_userns_clone=1, Debian's default).\n",
                 what, std::strerror(errno));
    std::exit(1);
}

void writeProcFile(const char *path, const std::string &text)
{
    const FileDescriptor file(::open(path, O_WRONLY | O_CLOEXEC));
    if (!file.isOpen() || ::write(file.get(), text.data(), text.size()) != ssize_t(text.size()))
        giveUp(path);
}

} // namespace

void enterOwnNetwork()
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) != 0)
        giveUp("unshare");
    writeProcFile("/proc/self/setgroups", "deny");
    writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        giveUp("making the mounts private");

    const FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (!socket.isOpen() || ::ioctl(socket.get(), SIOCGIFFLAGS, &request) != 0)
        giveUp("reading the loopback interface");
    request.ifr_flags |= IFF_UP;
    if (::ioctl(socket.get(), SIOCSIFFLAGS, &request) != 0)
        giveUp("bringing up the loopback interface");
}

void useNameserver(const QString &nameserver, const QString &scratchFolder)
{
    const QString path = scratchFolder + QStringLiteral("/resolv.conf");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QStringLiteral("nameserver %1\n").arg(nameserver).toLatin1()) < 0)
        throw std::runtime_error("cannot write " + path.toStdString());
    file.close();
    if (::mount(QFile::encodeName(path).constData(), "/etc/resolv.conf", nullptr, MS_BIND,
                nullptr) != 0)
        throw std::runtime_error(std::string("cannot bind resolv.conf: ") + std::strerror(errno));
}
