#include "OwnNetwork.h"

#include "common/FileDescriptor.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString s_networkMissing = QStringLiteral("the network namespace was never asked for");
QString s_mountsMissing = s_networkMissing;

QString failure(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeProcFile(const char *path, const std::string &text)
{
    const FileDescriptor file(::open(path, O_WRONLY | O_CLOEXEC));
    return file.isOpen() && ::write(file.get(), text.data(), text.size()) == ssize_t(text.size());
}

// Empty when the namespaces are entered; otherwise why not.
QString enterNamespaces()
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) == 0) {
        if (!writeProcFile("/proc/self/setgroups", "deny"))
            return failure("/proc/self/setgroups");
        if (!writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1"))
            return failure("/proc/self/uid_map");
        if (!writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return failure("/proc/self/gid_map");
        return {};
    }
    const QString withUser = failure("unshare with a user namespace");
    // The kernel gives no user namespace to a chrooted process; root needs none.
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0)
        return {};
    return withUser + QStringLiteral(", ") + failure("without one") +
           QStringLiteral(" (user namespaces are off, forbidden by a container's profile, or "
                          "refused in a chroot to all but root)");
}

QString bringUpLoopback()
{
    const FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (!socket.isOpen() || ::ioctl(socket.get(), SIOCGIFFLAGS, &request) != 0)
        return failure("reading the loopback interface");
    request.ifr_flags |= IFF_UP;
    if (::ioctl(socket.get(), SIOCSIFFLAGS, &request) != 0)
        return failure("bringing up the loopback interface");
    return {};
}

} // namespace

void enterOwnNetwork()
{
    const QString prefix = QStringLiteral("no network namespace of its own: ");
    if (const QString missing = enterNamespaces(); !missing.isEmpty()) {
        s_networkMissing = s_mountsMissing = prefix + missing;
        return;
    }
    if (const QString missing = bringUpLoopback(); !missing.isEmpty()) {
        s_networkMissing = s_mountsMissing = prefix + missing;
        return;
    }
    s_networkMissing.clear();
    // Inside a chroot "/" is no mount point, so the mounts stay shared with the machine: then
    // nothing is mounted, lest it show outside.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        s_mountsMissing = QStringLiteral("no mounts of its own to replace /etc/resolv.conf in: ") +
                          failure("making / private");
    else
        s_mountsMissing.clear();
}

QString addLoopbackAddress(const char *address)
{
    if (!s_networkMissing.isEmpty())
        return s_networkMissing;
    const FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request{};
    // An alias of lo: its address is local, so nothing sent to it leaves the namespace.
    std::strncpy(request.ifr_name, "lo:1", IFNAMSIZ - 1);
    auto *in = reinterpret_cast<sockaddr_in *>(&request.ifr_addr);
    in->sin_family = AF_INET;
    if (::inet_pton(AF_INET, address, &in->sin_addr) != 1)
        return QStringLiteral("%1 is no IPv4 address").arg(QLatin1String(address));
    if (!socket.isOpen() || ::ioctl(socket.get(), SIOCSIFADDR, &request) != 0)
        return failure("giving the loopback interface another address");
    return {};
}

QString ownNetworkMissing()
{
    return s_networkMissing;
}

QString privateMountsMissing()
{
    return s_mountsMissing;
}

void useNameserver(const QString &nameserver, const QString &scratchFolder)
{
    if (!s_mountsMissing.isEmpty())
        throw std::runtime_error(s_mountsMissing.toStdString());
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
