#include "CourierServer.h"

#include "TestServerProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <stdexcept>
#include <sys/wait.h>

namespace {

QString root()
{
    return unpackedServerRoot(QStringLiteral("courier"));
}

} // namespace

CourierServer::CourierServer() : m_dir(testServerFolderTemplate(QStringLiteral("courier")))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary folder for Courier");
    const QString tcpd = root() + QStringLiteral("/usr/sbin/couriertcpd");
    const QString imapd = root() + QStringLiteral("/usr/bin/imapd");
    if (!QFile::exists(tcpd) || !QFile::exists(imapd))
        throw std::runtime_error("Courier is not unpacked in " + root().toStdString() +
                                 ": run make test-deps");
    // A Maildir with its Drafts folder, as Courier's maildirmake makes them.
    for (const QString &folder : {QStringLiteral("Maildir"), QStringLiteral("Maildir/.Drafts")})
        for (const char *part : {"cur", "new", "tmp"})
            QDir().mkpath(m_dir.filePath(folder + QLatin1Char('/') + QLatin1String(part)));
    QFile(m_dir.filePath("Maildir/.Drafts/maildirfolder")).open(QIODevice::WriteOnly);

    const ServerAccount account = serverAccount();
    handFolderTo(m_dir.path(), account);
    m_imapPort = freeLoopbackPort();
    QStringList arguments = {"-address=127.0.0.1", "-nodnslookup", "-noidentlookup",
                             "-maxprocs=20"};
    if (account.uid != ::geteuid())
        arguments << "-user=" + account.user << "-group=" + account.group;
    arguments << QString::number(m_imapPort) << imapd << "Maildir";
    m_pid = startServerProcess(
        tcpd, arguments,
        {"LD_LIBRARY_PATH=" + root() + "/usr/lib", "AUTHENTICATED=" + QString(user),
         "HOME=" + m_dir.path(), "IMAP_ENHANCEDIDLE=0",
         // Courier starts a file monitor daemon of its own, one per id, which outlives it.
         "GAM_CLIENT_ID=" + QFileInfo(m_dir.path()).fileName(),
         "IMAP_CAPABILITY=IMAP4rev1 UIDPLUS CHILDREN NAMESPACE THREAD=ORDEREDSUBJECT "
         "THREAD=REFERENCES SORT QUOTA IDLE"},
        m_dir.filePath("server.log"), m_dir.path());
    for (int i = 0; i < 1500; ++i) {
        if (loopbackPortAnswers(m_imapPort))
            return;
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("Courier ended at start:\n" + log().toStdString());
        }
        QThread::msleep(10);
    }
    killProcessGroup(m_pid);
    m_pid = -1;
    throw std::runtime_error("Courier did not start within 15 s:\n" + log().toStdString());
}

CourierServer::~CourierServer()
{
    if (m_pid > 0)
        killProcessGroup(m_pid);
    killProcessesWorkingIn(m_dir.path()); // the file monitor, in a session of its own
}

QString CourierServer::log() const
{
    QFile file(m_dir.filePath("server.log"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

QString CourierServer::maildir() const
{
    return m_dir.filePath(QStringLiteral("Maildir"));
}

QList<QByteArray> CourierServer::messagesIn(const QString &folder) const
{
    // INBOX.Drafts lives in Maildir/.Drafts.
    const QString sub = folder.section(QLatin1Char('.'), 1);
    QList<QByteArray> messages;
    for (const char *part : {"new", "cur"}) {
        const QDir dir(maildir() + QStringLiteral("/.") + sub + QLatin1Char('/') +
                       QLatin1String(part));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                messages << file.readAll();
        }
    }
    return messages;
}
