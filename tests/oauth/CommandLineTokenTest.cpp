#include "SignedIn.h"
#include "TokenDovecot.h"

#include "DovecotServer.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"
#include "support/MemoryPasswordStore.h"
#include "support/TestTools.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

namespace {

const QString key = "imap-oauth2://drafter@127.0.0.1:143";

struct SendRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// `ferrymail send` as a script runs it against a Dovecot that takes tokens, with a
// TokenCommand that reads the access token from a file: no token stands in the settings.
class CommandLineToken : public testing::Test
{
protected:
    void SetUp() override
    {
        dovecot =
            std::make_unique<DovecotServer>(tokenLogins(server, folder, "xoauth2 oauthbearer"));
        const QString refreshToken =
            signedInRefreshToken(server, *keyring, key, DovecotServer::user);
        ASSERT_FALSE(refreshToken.isEmpty());
        RefreshingTokenSource source(server.endpoints(), keyring, key);
        tokens = {refreshToken, source.accessToken(false)};
        writeFile(folder.filePath("token"), (tokens[1] + "\n").toUtf8());
        ASSERT_TRUE(QDir().mkpath(folder.filePath("files")));
        writeFile(folder.filePath("files/a.bin"), randomBytes(3000, 4));
        ASSERT_TRUE(QDir().mkpath(folder.filePath("config/Ferrymail")));
        writeFile(settingsFile(),
                  QStringLiteral("[MailClient]\nKind=imap\nImapHost=127.0.0.1\nImapPort=%1\n"
                                 "ImapSecurity=none\nImapUser=%2\nImapAuth=oauth2\n"
                                 "OAuth2Provider=custom\nTokenCommand=cat '%3'\n")
                      .arg(dovecot->imapPort())
                      .arg(DovecotServer::user, folder.filePath("token"))
                      .toUtf8());
    }

    QString settingsFile() const { return folder.filePath("config/Ferrymail/Ferrymail.conf"); }

    SendRun send(const QStringList &options = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        environment.insert("XDG_DATA_HOME", folder.filePath("data"));
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(FERRYMAIL_BINARY, QStringList{"send", "--to", "ann@example.org", "--from",
                                                    "me@example.org", "--all"} +
                                            options + QStringList{folder.filePath("files")});
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // Every file the program could have written: its settings and data folders.
    void expectNoTokenWritten(const SendRun &run)
    {
        for (const QString &token : tokens) {
            SCOPED_TRACE(token.left(6).toStdString());
            EXPECT_FALSE(run.out.contains(token.toUtf8()));
            EXPECT_FALSE(run.err.contains(token.toUtf8()));
            for (const char *written : {"config", "data"}) {
                QDirIterator files(folder.filePath(written), QDir::Files,
                                   QDirIterator::Subdirectories);
                while (files.hasNext()) {
                    const QString file = files.next();
                    EXPECT_FALSE(fileBytes(file).contains(token.toUtf8())) << file.toStdString();
                }
            }
        }
    }

    AuthorizationServer server;
    QTemporaryDir folder;
    std::shared_ptr<MemoryPasswordStore> keyring = std::make_shared<MemoryPasswordStore>();
    std::unique_ptr<DovecotServer> dovecot;
    QStringList tokens; // the refresh token, the access token
};

TEST_F(CommandLineToken, FilesWithTheCommandsTokenAndPrintsNoToken)
{
    const SendRun run = send();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << dovecot->log().toStdString();
    EXPECT_TRUE(run.out.contains("a.bin")) << run.out.toStdString();
    expectNoTokenWritten(run);

    const SendRun dryRun = send({"--dry-run", "--json"});
    ASSERT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    EXPECT_FALSE(QJsonDocument::fromJson(dryRun.out).isNull()) << dryRun.out.toStdString();
    EXPECT_TRUE(dryRun.out.contains("a.bin"));
    expectNoTokenWritten(dryRun);
}

TEST_F(CommandLineToken, ARefusedTokenFailsWithoutQuotingIt)
{
    server.revoke(tokens[1]);
    const SendRun run = send();
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_FALSE(run.err.isEmpty());
    expectNoTokenWritten(run);
}

} // namespace
