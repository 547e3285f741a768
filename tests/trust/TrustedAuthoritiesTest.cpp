// A server whose certificate comes from an authority of its own (a company's, a self-hosted
// one's) is reached when the person names that authority, by CaFile or as OpenSSL's tools
// read SSL_CERT_FILE and SSL_CERT_DIR, and refused otherwise, naming the certificate.
#include "DovecotServer.h"
#include "ImapFolderReader.h"
#include "support/ScriptRun.h"
#include "support/TestTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

enum class Through
{
    Drafts, // IMAP
    Mail,   // SMTP
};

// How the person tells which authorities to trust.
struct Trust
{
    const char *name;
    QString caFile;                     // the CaFile key, "" for none
    QMap<QString, QString> environment; // %1 stands for the test's folder
    bool reached;
};

class TrustedAuthorities : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        DovecotOptions options;
        options.submission = true;
        s_dovecot = std::make_unique<DovecotServer>(options);
    }
    static void TearDownTestSuite() { s_dovecot.reset(); }

    void SetUp() override
    {
        QDir().mkpath(home.filePath("files"));
        writeFile(home.filePath("files/a.txt"), "the file\n");
        QFile::copy(dovecot().caFile(), home.filePath("our-ca.pem"));
        QDir().mkpath(home.filePath("authorities"));
        QFile::copy(dovecot().caFile(), home.filePath("authorities/our-ca.pem"));
        // OpenSSL finds a folder's certificates by the hash of their subject.
        QProcess rehash;
        rehash.start("openssl", {"rehash", home.filePath("authorities")});
        ASSERT_TRUE(rehash.waitForFinished() && rehash.exitCode() == 0);
        writeFile(home.filePath("not-a-certificate.pem"), "hello\n");
    }

    static DovecotServer &dovecot() { return *s_dovecot; }

    void configure(Through through, const QString &caFile, int port = 0)
    {
        QString keys = QStringLiteral("[MailClient]\nPasswordCommand=echo %1\n")
                           .arg(QLatin1String(DovecotServer::password));
        if (through == Through::Drafts)
            keys += QStringLiteral("Kind=imap\nImapHost=localhost\nImapPort=%1\nImapSecurity=tls\n"
                                   "ImapUser=%2\n")
                        .arg(port ? port : dovecot().imapsPort())
                        .arg(QLatin1String(DovecotServer::user));
        else
            keys += QStringLiteral("Kind=smtp\nSmtpHost=localhost\nSmtpPort=%1\nSmtpSecurity=tls\n"
                                   "SmtpUser=%2\n")
                        .arg(port ? port : dovecot().submissionsPort())
                        .arg(QLatin1String(DovecotServer::user));
        if (!caFile.isEmpty())
            keys += QStringLiteral("CaFile=%1\n").arg(caFile);
        QDir().mkpath(home.filePath("config/Ferrymail"));
        writeFile(home.filePath("config/Ferrymail/Ferrymail.conf"), keys.toUtf8());
    }

    CommandRun send(const QString &subject, const QMap<QString, QString> &extra = {})
    {
        QProcessEnvironment environment = scriptEnvironment(home.path());
        environment.insert("HOME", home.path());
        environment.remove("SSL_CERT_FILE");
        environment.remove("SSL_CERT_DIR");
        for (auto variable = extra.begin(); variable != extra.end(); ++variable)
            environment.insert(variable.key(),
                               QString(variable.value()).replace("%1", home.path()));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(
            FERRYMAIL_BINARY,
            {"send", "--to",
             QStringLiteral("%1@example.org").arg(QLatin1String(DovecotServer::recipient)),
             "--from", "drafter@example.org", "--subject", subject, "--all",
             home.filePath("files")});
        process.closeWriteChannel();
        const bool ended = process.waitForFinished(60000);
        if (!ended)
            process.kill(), process.waitForFinished();
        return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // The subjects that arrived where the messages went.
    QStringList arrived(Through through) const
    {
        const bool drafts = through == Through::Drafts;
        const ImapFolderReader reader(dovecot().imapsPort(), dovecot().caFile(),
                                      drafts ? DovecotServer::user : DovecotServer::recipient,
                                      DovecotServer::password);
        QStringList subjects;
        for (const StoredMessage &message :
             reader.messages(drafts ? DovecotServer::draftsFolder : "INBOX"))
            for (const QByteArray &line : message.bytes.split('\n'))
                if (line.startsWith("Subject: "))
                    subjects << QString::fromUtf8(line.mid(9).trimmed());
        return subjects;
    }

    QTemporaryDir home;

private:
    static std::unique_ptr<DovecotServer> s_dovecot;
};

std::unique_ptr<DovecotServer> TrustedAuthorities::s_dovecot;

} // namespace

TEST_F(TrustedAuthorities, TheNamedAuthorityIsTrustedBesideTheSystemsAndNoneOtherIs)
{
    const std::vector<Trust> ways = {
        {"CaFile under the home folder", "~/our-ca.pem", {}, true},
        {"SSL_CERT_FILE", "", {{"SSL_CERT_FILE", "%1/our-ca.pem"}}, true},
        {"SSL_CERT_DIR", "", {{"SSL_CERT_DIR", "%1/authorities"}}, true},
        {"CaFile beside another SSL_CERT_FILE",
         "~/our-ca.pem",
         {{"SSL_CERT_FILE", "/etc/ssl/certs/ca-certificates.crt"}},
         true},
        {"the system's alone", "", {}, false},
    };
    int sent = 0;
    for (const Through through : {Through::Drafts, Through::Mail}) {
        for (const Trust &way : ways) {
            const QString subject = QStringLiteral("Through %1 %2, ")
                                        .arg(through == Through::Drafts ? "IMAP" : "SMTP")
                                        .arg(QLatin1String(way.name));
            SCOPED_TRACE(subject.toStdString());
            configure(through, way.caFile);
            const CommandRun run = send(subject, way.environment);
            const QStringList subjects = arrived(through);
            if (way.reached) {
                ++sent;
                EXPECT_EQ(run.exitCode, 0) << run.err;
                EXPECT_TRUE(subjects.contains(subject + "a.txt")) << subjects.join(" | ");
                continue;
            }
            EXPECT_NE(run.exitCode, 0);
            EXPECT_FALSE(subjects.contains(subject + "a.txt"));
            // The certificate refused, who issued it, and where to name its authority.
            EXPECT_TRUE(run.err.contains("Ferrymail test CA")) << run.err;
            EXPECT_TRUE(run.err.contains("CN=localhost")) << run.err;
            EXPECT_TRUE(run.err.contains("CaFile")) << run.err;
        }
    }
    EXPECT_EQ(sent, 8);
}

TEST_F(TrustedAuthorities, AFileWithoutCertificatesIsRefusedByNameBeforeConnecting)
{
    for (const QString &caFile :
         {QStringLiteral("~/not-a-certificate.pem"), QStringLiteral("~/missing.pem")}) {
        SCOPED_TRACE(caFile.toStdString());
        configure(Through::Drafts, caFile);
        const CommandRun run = send("never ");
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.contains("CaFile")) << run.err;
        EXPECT_TRUE(run.err.contains(home.path() + caFile.mid(1))) << run.err;
        EXPECT_FALSE(arrived(Through::Drafts).contains("never a.txt"));
    }
}

TEST_F(TrustedAuthorities, ATrustedAuthorityStillVouchesOnlyForTheNamesItSigned)
{
    // The same authority's certificate for another server, presented by this one.
    DovecotOptions options;
    options.certificateName = "other.example";
    options.submission = true;
    DovecotServer impostor(options);
    for (const Through through : {Through::Drafts, Through::Mail}) {
        SCOPED_TRACE(through == Through::Drafts ? "IMAP" : "SMTP");
        configure(through, "~/our-ca.pem",
                  through == Through::Drafts ? impostor.imapsPort() : impostor.submissionsPort());
        const CommandRun run = send("impostor ");
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.contains("no alternative certificate subject name matches")) << run.err;
        EXPECT_FALSE(run.err.contains("do not vouch")) << "the authority is not at fault";
    }
}
