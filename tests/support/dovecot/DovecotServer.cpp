#include "DovecotServer.h"
#include "TestServerProcesses.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
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

void run(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        throw std::runtime_error((program + QLatin1Char(' ') + arguments.join(' ') + ": " +
                                  QString::fromLocal8Bit(process.readAll()))
                                     .toStdString());
}

void writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) != text.toUtf8().size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QString userName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

TestCertificates makeCertificates()
{
    static QTemporaryDir dir; // lives as long as the process
    TestCertificates certificates;
    certificates.folder = dir.path();
    certificates.caFile = dir.filePath("ca.pem");
    const QString openssl = QStringLiteral("openssl");
    const QStringList ecKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                               "-nodes"};
    run(openssl,
        QStringList{"req", "-x509"} + ecKey +
            QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj",
                        "/CN=Ferrymail test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                        "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
        dir.path());
    for (const QString &name : {QStringLiteral("localhost"), QStringLiteral("other.example")}) {
        const QString names = name == QLatin1String("localhost")
                                  ? QStringLiteral("DNS:localhost,IP:127.0.0.1")
                                  : QStringLiteral("DNS:") + name;
        writeText(dir.filePath(name + ".ext"), "subjectAltName=" + names + "\n");
        run(openssl,
            QStringList{"req"} + ecKey +
                QStringList{"-keyout", name + ".key", "-out", name + ".csr", "-subj",
                            "/CN=" + name},
            dir.path());
        run(openssl,
            {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
             "-CAcreateserial", "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext"},
            dir.path());
    }
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    return certificates;
}

QString namespaceSection(const DovecotOptions &options)
{
    const QString sent = options.sentFolder.isEmpty() ? QString()
                                                      : QStringLiteral("  mailbox \"%1\" {\n"
                                                                       "    special_use = \\Sent\n"
                                                                       "    auto = create\n"
                                                                       "  }\n")
                                                            .arg(options.sentFolder);
    if (options.inboxNamespace)
        return QStringLiteral(R"(namespace inbox {
  inbox = yes
  prefix = INBOX.
  separator = .
  mailbox Drafts {
    auto = create
  }
%1}
)")
            .arg(sent);
    return QStringLiteral(R"(namespace inbox {
  inbox = yes
  separator = /
  mailbox Brouillons {
    %1
    auto = create
  }
%2}
)")
        .arg(options.marksDrafts ? QStringLiteral("special_use = \\Drafts") : QString(), sent);
}

// Dovecot's submission service relays over SMTP only; the bridge lets its LMTP take that.
QString submissionSection(int submissionPort, int submissionsPort, int lmtpPort, int bridgePort,
                          const QString &loginChroot)
{
    return QStringLiteral(R"(protocols = imap submission lmtp
hostname = localhost
postmaster_address = postmaster@example.org
submission_relay_host = 127.0.0.1
submission_relay_port = %4
# Left unset, a limit of its own refuses the benchmark's 2 GiB message.
submission_max_mail_size = 4G
protocol lmtp {
  auth_username_format = %Ln
}
service submission-login {
  chroot = %5
  inet_listener submission {
    address = 127.0.0.1
    port = %1
  }
  inet_listener submissions {
    address = 127.0.0.1
    port = %2
    ssl = yes
  }
}
service lmtp {
  inet_listener lmtp {
    address = 127.0.0.1
    port = %3
  }
}
)")
        .arg(submissionPort)
        .arg(submissionsPort)
        .arg(lmtpPort)
        .arg(bridgePort)
        .arg(loginChroot);
}

} // namespace

QString TestCertificates::certificate(const QString &name) const
{
    return folder + QLatin1Char('/') + name + QStringLiteral(".pem");
}

QString TestCertificates::key(const QString &name) const
{
    return folder + QLatin1Char('/') + name + QStringLiteral(".key");
}

const TestCertificates &testCertificates()
{
    static const TestCertificates certificates = makeCertificates();
    return certificates;
}

DovecotServer::DovecotServer(DovecotOptions options)
    : m_options(std::move(options)), m_dir(testServerFolderTemplate(QStringLiteral("dovecot")))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary folder for Dovecot");
    // Distinct ports, each free when chosen.
    std::vector<int> ports;
    const auto port = [&ports] {
        int chosen = 0;
        do
            chosen = freeLoopbackPort();
        while (std::find(ports.begin(), ports.end(), chosen) != ports.end());
        ports.push_back(chosen);
        return chosen;
    };
    m_imapsPort = port();
    m_imapPort = port();
    if (m_options.submission) {
        m_submissionPort = port();
        m_submissionsPort = port();
        m_lmtpPort = port();
        m_bridgePort = port();
    }
    writeConfiguration();
    start();
}

DovecotServer::~DovecotServer()
{
    kill(); // its state goes with the temporary folder: no need to wait for a clean stop
}

QString DovecotServer::maildir(const QString &userName) const
{
    return m_dir.filePath(QStringLiteral("home/%1/Maildir").arg(userName));
}

QString DovecotServer::log() const
{
    QFile file(m_dir.filePath("dovecot.log"));
    QFile errors(m_dir.filePath("stderr.log"));
    QFile bridge(m_dir.filePath("bridge.log"));
    file.open(QIODevice::ReadOnly);
    errors.open(QIODevice::ReadOnly);
    bridge.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll() + errors.readAll() + bridge.readAll());
}

void DovecotServer::writeConfiguration()
{
    const QString root = m_dir.path();
    const bool asRoot = ::geteuid() == 0;
    // Root runs its services as Dovecot's own users and the mail as nobody; anybody else
    // runs everything as themselves.
    const QString internalUser = asRoot ? QStringLiteral("dovecot") : userName(::geteuid());
    const QString internalGroup = asRoot ? QStringLiteral("dovecot") : groupName(::getegid());
    const QString loginUser = asRoot ? QStringLiteral("dovenull") : internalUser;
    const uid_t mailUid = asRoot ? 65534 : ::geteuid();
    const gid_t mailGid = asRoot ? 65534 : ::getegid();
    ::chmod(QFile::encodeName(root).constData(), 0755);

    QString users;
    QStringList names = {QString(user), QString(fullUser)};
    if (m_options.submission)
        names << QString(recipient);
    for (const QString &name : names) {
        const QString home = root + "/home/" + name;
        QDir().mkpath(home);
        if (asRoot)
            ::chown(QFile::encodeName(home).constData(), mailUid, mailGid);
        users += QStringLiteral("%1:{PLAIN}%2:%3:%4::%5::%6\n")
                     .arg(name, QString(password))
                     .arg(mailUid)
                     .arg(mailGid)
                     .arg(home, name == QLatin1String(fullUser)
                                    ? QStringLiteral("userdb_quota_rule=*:storage=64K")
                                    : QString());
    }
    writeText(root + "/users", users);

    const TestCertificates &certificates = testCertificates();
    QString limits;
    if (m_options.appendLimit)
        limits = QStringLiteral("imap_capability = +APPENDLIMIT=%1\n").arg(*m_options.appendLimit);
    else if (!m_options.literalPlus)
        limits = QStringLiteral("imap_capability = IMAP4rev1 SASL-IR ID ENABLE IDLE UNSELECT "
                                "UIDPLUS LIST-EXTENDED SPECIAL-USE\n");
    const QString maxMailSize =
        m_options.appendLimit
            ? QStringLiteral("  quota_max_mail_size = %1\n").arg(*m_options.appendLimit)
            : QString();
    const QString config =
        QStringLiteral(R"(protocols = imap
listen = 127.0.0.1
base_dir = %1/run
state_dir = %1/state
log_path = %1/dovecot.log
ssl = yes
ssl_cert = <%2
ssl_key = <%3
default_internal_user = %4
default_internal_group = %5
default_login_user = %6
first_valid_uid = 0
auth_mechanisms = plain login
auth_failure_delay = 0
disable_plaintext_auth = no
mail_location = maildir:~/Maildir
mail_plugins = quota
passdb {
  driver = passwd-file
  args = scheme=PLAIN %1/users
}
userdb {
  driver = passwd-file
  args = %1/users
}
@NAMESPACE@
# No growing delays after the tests' deliberate failed logins.
service anvil {
  chroot = @ANVIL_CHROOT@
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service imap-login {
  chroot = @LOGIN_CHROOT@
  inet_listener imap {
    address = 127.0.0.1
    port = %7
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = %8
    ssl = yes
  }
}
plugin {
  quota = count:User quota
  quota_vsizes = yes
%9}
)")
            .arg(root, certificates.certificate(m_options.certificateName),
                 certificates.key(m_options.certificateName), internalUser, internalGroup,
                 loginUser)
            .arg(m_imapPort)
            .arg(m_imapsPort)
            .arg(maxMailSize) +
        limits +
        (m_options.submission
             ? submissionSection(m_submissionPort, m_submissionsPort, m_lmtpPort, m_bridgePort,
                                 asRoot ? QStringLiteral("login") : QString())
             : QString()) +
        m_options.extraConfiguration;
    // Only root may chroot; the services then stay in the run folder.
    writeText(root + "/dovecot.conf",
              QString(config)
                  .replace("@NAMESPACE@", namespaceSection(m_options))
                  .replace("@ANVIL_CHROOT@", asRoot ? QStringLiteral("empty") : QString())
                  .replace("@LOGIN_CHROOT@", asRoot ? QStringLiteral("login") : QString()));
}

void DovecotServer::start()
{
    if (m_pid > 0)
        return;
    if (m_options.submission && m_bridgePid <= 0)
        m_bridgePid = startServerProcess(
            QStringLiteral("/usr/bin/python3"),
            {LMTP_BRIDGE_SCRIPT, QString::number(m_bridgePort), QString::number(m_lmtpPort)}, {},
            m_dir.filePath("bridge.log"), m_dir.path());
    m_pid = startServerProcess(QStringLiteral("/usr/sbin/dovecot"),
                               {"-F", "-c", m_dir.filePath("dovecot.conf")}, {},
                               m_dir.filePath("stderr.log"));
    for (int i = 0; i < 1500; ++i) {
        const bool submissionAnswers =
            !m_options.submission ||
            (loopbackPortAnswers(m_submissionPort) && loopbackPortAnswers(m_submissionsPort) &&
             loopbackPortAnswers(m_bridgePort));
        if (loopbackPortAnswers(m_imapsPort) && loopbackPortAnswers(m_imapPort) &&
            submissionAnswers)
            return;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("Dovecot ended at start:\n" + log().toStdString());
        }
        QThread::msleep(10);
    }
    kill();
    throw std::runtime_error("Dovecot did not start within 15 s:\n" + log().toStdString());
}

void DovecotServer::kill()
{
    if (m_bridgePid > 0) {
        killProcessGroup(m_bridgePid);
        m_bridgePid = -1;
    }
    if (m_pid <= 0)
        return;
    killProcessGroup(m_pid);
    m_pid = -1;
    for (int i = 0;
         i < 500 && (loopbackPortAnswers(m_imapsPort) || loopbackPortAnswers(m_imapPort)); ++i)
        QThread::msleep(10);
}

void DovecotServer::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 500 && ::waitpid(m_pid, nullptr, WNOHANG) != m_pid; ++i)
        QThread::msleep(10);
    kill(); // stragglers, and the master itself when it took too long
}
