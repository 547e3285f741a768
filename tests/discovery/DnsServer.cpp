#include "DnsServer.h"

#include "common/FileDescriptor.h"

#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

DnsServer::DnsServer(QString listenAddress) : m_address(std::move(listenAddress)) {}

DnsServer::~DnsServer()
{
    stop();
}

void DnsServer::addService(const QString &name, const QString &target, int port, int priority,
                           int weight)
{
    m_options << QStringLiteral("--srv-host=%1,%2,%3,%4,%5")
                     .arg(name, target)
                     .arg(port)
                     .arg(priority)
                     .arg(weight);
}

void DnsServer::addNoService(const QString &name)
{
    // Without a target dnsmasq answers with the root, ".".
    m_options << QStringLiteral("--srv-host=%1").arg(name);
}

void DnsServer::addText(const QString &name, const QString &text)
{
    m_options << QStringLiteral("--txt-record=%1,%2").arg(name, text);
}

void DnsServer::addLocalDomain(const QString &domain)
{
    m_options << QStringLiteral("--local=/%1/").arg(domain);
}

QString DnsServer::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("dnsmasq.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void DnsServer::start()
{
    // --no-daemon rather than --keep-in-foreground: it also keeps dnsmasq from switching to
    // its own user, which a user namespace with one mapped id cannot do.
    QStringList arguments = {
        QStringLiteral("--no-daemon"),       QStringLiteral("--no-resolv"),
        QStringLiteral("--no-hosts"),        QStringLiteral("--conf-file=/dev/null"),
        QStringLiteral("--port=53"),         QStringLiteral("--listen-address=") + m_address,
        QStringLiteral("--bind-interfaces"), QStringLiteral("--pid-file="),
        QStringLiteral("--log-queries")};
    arguments += m_options;
    std::vector<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv = {const_cast<char *>("dnsmasq")};
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray logPath = QFile::encodeName(m_dir.filePath(QStringLiteral("dnsmasq.log")));

    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("cannot fork for dnsmasq");
    if (m_pid == 0) {
        ::setsid();
        const int log = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::execv("/usr/sbin/dnsmasq", argv.data());
        ::_exit(127);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (answers())
            return;
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        QThread::msleep(50);
    }
    stop();
    throw std::runtime_error("dnsmasq did not start:\n" + log().toStdString());
}

void DnsServer::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

bool DnsServer::answers() const
{
    // A question for "ready." of type A; any reply at all will do.
    static const unsigned char question[] = {0x12, 0x34, 0x01, 0x00, 0,   1,   0, 0, 0, 0, 0, 0,
                                             5,    'r',  'e',  'a',  'd', 'y', 0, 0, 1, 0, 1};
    const FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(53);
    if (!socket.isOpen() ||
        ::inet_pton(AF_INET, m_address.toLatin1().constData(), &server.sin_addr) != 1 ||
        ::sendto(socket.get(), question, sizeof question, 0,
                 reinterpret_cast<const sockaddr *>(&server), sizeof server) < 0)
        return false;
    pollfd wait{socket.get(), POLLIN, 0};
    unsigned char reply[512];
    return ::poll(&wait, 1, 100) == 1 && ::recv(socket.get(), reply, sizeof reply, 0) > 0;
}
