#include "ImapServerFixture.h"

#include "FileDraft.h"

#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"

std::unique_ptr<DovecotServer> ImapServerFixture::s_server;

void ImapServerFixture::TearDownTestSuite()
{
    s_server.reset();
}

DovecotServer &ImapServerFixture::server(const DovecotOptions &options)
{
    if (!s_server)
        s_server = std::make_unique<DovecotServer>(options);
    return *s_server;
}

void ImapServerFixture::SetUp()
{
    server(options());
    try {
        for (const QString &user :
             {QString(DovecotServer::user), QString(DovecotServer::fullUser)}) {
            const ImapFolderReader folder = reader(user);
            QStringList uids;
            for (const StoredMessage &message : folder.messages(draftsFolder()))
                uids << QString::number(message.uid);
            if (!uids.isEmpty()) {
                folder.command("UID STORE " + uids.join(',').toLatin1() +
                                   " +FLAGS.SILENT (\\Deleted)",
                               draftsFolder());
                folder.command("EXPUNGE", draftsFolder());
            }
        }
    } catch (const std::exception &error) {
        FAIL() << error.what() << "\nDovecot's log:\n" << s_server->log().toStdString();
    }
}

QString ImapServerFixture::draftsFolder() const
{
    return options().inboxNamespace ? QStringLiteral("INBOX.Drafts")
                                    : QString(DovecotServer::draftsFolder);
}

ImapEndpoint ImapServerFixture::endpoint(ImapSecurity security, const QString &user) const
{
    ImapEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.security = security;
    endpoint.port = security == ImapSecurity::Tls ? s_server->imapsPort() : s_server->imapPort();
    endpoint.user = user;
    endpoint.caFile = s_server->caFile();
    return endpoint;
}

ImapFolderReader ImapServerFixture::reader(const QString &user) const
{
    const QString name = options().certificateName;
    return ImapFolderReader(
        s_server->imapsPort(), s_server->caFile(), user, DovecotServer::password,
        name == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : name);
}

QString ImapServerFixture::randomFile(const QString &name, qsizetype size)
{
    return writeFile(dir.filePath(name), randomBytes(size, quint32(size)));
}

void ImapServerFixture::send(ImapOutbox &outbox, const QString &subject,
                             const QStringList &attachments, TransferMonitor &monitor)
{
    fileDraft(outbox, subject, attachments, monitor);
}

void ImapServerFixture::send(ImapOutbox &outbox, const QString &subject,
                             const QStringList &attachments)
{
    send(outbox, subject, attachments, TransferMonitor::none());
}

QStringList ImapServerFixture::subjectsIn(const QString &folder, const QString &user) const
{
    QStringList subjects;
    for (const StoredMessage &message : reader(user).messages(folder))
        subjects << subjectOf(message.bytes);
    return subjects;
}

QString subjectOf(const QByteArray &raw)
{
    for (const QByteArray &line : raw.left(raw.indexOf("\r\n\r\n")).split('\n'))
        if (line.startsWith("Subject: "))
            return QString::fromUtf8(line.mid(9).trimmed());
    return QString();
}
