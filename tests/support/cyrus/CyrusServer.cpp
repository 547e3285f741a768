#include "CyrusServer.h"

#include "DovecotServer.h"
#include "TestServerProcesses.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) != text.toUtf8().size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw std::runtime_error("cannot copy " + from.toStdString());
}

} // namespace

QString CyrusServer::unpackedRoot()
{
    return unpackedServerRoot(QStringLiteral("cyrus"));
}

CyrusServer::CyrusServer() : m_dir(testServerFolderTemplate(QStringLiteral("cyrus")))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary folder for Cyrus");
    if (!QFile::exists(unpackedRoot() + QStringLiteral("/usr/lib/cyrus/bin/master")))
        throw std::runtime_error("Cyrus is not unpacked in " + unpackedRoot().toStdString() +
                                 ": run make test-deps");
    m_imapPort = freeLoopbackPort();
    do
        m_imapsPort = freeLoopbackPort();
    while (m_imapsPort == m_imapPort);
    writeConfiguration();
    start();
}

CyrusServer::~CyrusServer()
{
    if (m_pid > 0)
        killProcessGroup(m_pid);
}

QString CyrusServer::caFile() const
{
    return testCertificates().caFile;
}

QString CyrusServer::log() const
{
    QFile file(m_dir.filePath("master.log"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

void CyrusServer::writeConfiguration()
{
    const QString root = m_dir.path();
    const ServerAccount account = serverAccount();
    for (const char *folder : {"conf", "spool", "run"})
        QDir(root).mkpath(folder);
    const TestCertificates &certificates = testCertificates();
    copyFile(certificates.certificate("localhost"), root + "/server.pem");
    copyFile(certificates.key("localhost"), root + "/server.key");

    writeText(root + "/imapd.conf", QStringLiteral(R"(configdirectory: %1/conf
partition-default: %1/spool
cyrus_user: %2
cyrus_group: %3
admins: cyrus
sasl_pwcheck_method: alwaystrue
sasl_mech_list: PLAIN LOGIN
allowplaintext: yes
altnamespace: no
unixhierarchysep: no
autocreate_quota: 0
autocreate_post: 1
autocreate_inbox_folders: Drafts | Sent
tls_server_cert: %1/server.pem
tls_server_key: %1/server.key
lmtpsocket: %1/run/lmtp
idlesocket: %1/run/idle
notifysocket: %1/run/notify
mboxname_lockpath: %1/run/lock
proc_path: %1/run/proc
syslog_prefix: ferrymail-test-cyrus
)")
                                        .arg(root, account.user, account.group));
    const QString bin = unpackedRoot() + QStringLiteral("/usr/lib/cyrus/bin/");
    const QString config = QStringLiteral(" -C ") + root + QStringLiteral("/imapd.conf");
    writeText(root + "/cyrus.conf", QStringLiteral(R"(START {
  recover cmd="%1ctl_cyrusdb%2 -r"
}
SERVICES {
  imap cmd="%1imapd%2" listen="127.0.0.1:%3" prefork=0
  imaps cmd="%1imapd%2 -s" listen="127.0.0.1:%4" prefork=0
}
EVENTS {
}
DAEMON {
}
)")
                                        .arg(bin, config)
                                        .arg(m_imapPort)
                                        .arg(m_imapsPort));
    handFolderTo(root, account);
}

void CyrusServer::start()
{
    const QString root = m_dir.path();
    m_pid =
        startServerProcess(unpackedRoot() + QStringLiteral("/usr/lib/cyrus/bin/master"),
                           {"-D", "-C", root + "/imapd.conf", "-M", root + "/cyrus.conf", "-p",
                            root + "/run/master.pid"},
                           {"LD_LIBRARY_PATH=" + unpackedRoot() + "/usr/lib/" LIBRARY_ARCHITECTURE},
                           root + "/master.log", root);
    for (int i = 0; i < 1500; ++i) {
        if (loopbackPortAnswers(m_imapPort) && loopbackPortAnswers(m_imapsPort))
            return;
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("Cyrus ended at start:\n" + log().toStdString());
        }
        QThread::msleep(10);
    }
    killProcessGroup(m_pid);
    m_pid = -1;
    throw std::runtime_error("Cyrus did not start within 15 s:\n" + log().toStdString());
}
