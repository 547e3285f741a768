#include "SignedIn.h"
#include "TokenDovecot.h"
#include "mailbridge/TransferMonitor.h"

#include "DovecotServer.h"
#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/wiring/OutboxFactory.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>
#include <curl/curl.h>

#include <memory>
#include <sys/stat.h>

namespace {

const QString key = "imap-oauth2://drafter@127.0.0.1:143";

struct CurlDeleter
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};

size_t keep(char *data, size_t size, size_t count, void *into)
{
    static_cast<std::string *>(into)->append(data, size * count);
    return size * count;
}

// Logs in as an IMAP client does with mechanism and token, and lists the folders; curl's
// result and what the server listed.
std::pair<CURLcode, std::string> listFolders(int port, const char *mechanism, const QString &token)
{
    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    std::string listed;
    const std::string url = "imap://127.0.0.1:" + std::to_string(port) + "/";
    const std::string options = std::string("AUTH=") + mechanism;
    const QByteArray bearer = token.toUtf8();
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_USERNAME, DovecotServer::user);
    curl_easy_setopt(curl.get(), CURLOPT_LOGIN_OPTIONS, options.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_XOAUTH2_BEARER, bearer.constData());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &listed);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 20L);
    const CURLcode result = curl_easy_perform(curl.get());
    return {result, listed};
}

class DovecotTokenLogin : public testing::Test
{
protected:
    void start(const QString &mechanisms)
    {
        dovecot = std::make_unique<DovecotServer>(tokenLogins(server, folder, mechanisms));
        signedInRefreshToken(server, *keyring, key, DovecotServer::user);
    }

    AuthorizationServer server;
    QTemporaryDir folder;
    std::shared_ptr<MemoryPasswordStore> keyring = std::make_shared<MemoryPasswordStore>();
    std::unique_ptr<DovecotServer> dovecot;
};

TEST_F(DovecotTokenLogin, ATokenOfTheSignInLogsInWithEitherMechanism)
{
    start("xoauth2 oauthbearer");
    RefreshingTokenSource source(server.endpoints(), keyring, key);
    const QString token = source.accessToken(false);
    for (const char *mechanism : {"XOAUTH2", "OAUTHBEARER"}) {
        SCOPED_TRACE(mechanism);
        const auto [result, listed] = listFolders(dovecot->imapPort(), mechanism, token);
        EXPECT_EQ(result, CURLE_OK) << curl_easy_strerror(result) << dovecot->log();
        EXPECT_NE(listed.find(DovecotServer::draftsFolder), std::string::npos) << listed;
    }
    EXPECT_NE(listFolders(dovecot->imapPort(), "XOAUTH2", "at-made-up").first, CURLE_OK);

    // Expired at the server: refused, and the token the source gets next is taken.
    server.post("/test/expire-access", {});
    EXPECT_EQ(listFolders(dovecot->imapPort(), "XOAUTH2", token).first, CURLE_LOGIN_DENIED);
    const QString fresh = source.accessToken(true);
    EXPECT_EQ(listFolders(dovecot->imapPort(), "XOAUTH2", fresh).first, CURLE_OK);
}

TEST_F(DovecotTokenLogin, AServerAnnouncingOneMechanismTakesOnlyThatOne)
{
    start("oauthbearer");
    RefreshingTokenSource source(server.endpoints(), keyring, key);
    const QString token = source.accessToken(false);
    EXPECT_EQ(listFolders(dovecot->imapPort(), "OAUTHBEARER", token).first, CURLE_OK)
        << dovecot->log();
    EXPECT_NE(listFolders(dovecot->imapPort(), "XOAUTH2", token).first, CURLE_OK);
}

// What the outbox filed, read behind the server's back: the drafts folder's messages.
int draftsOnDisk(const DovecotServer &dovecot)
{
    const QString base = dovecot.maildir(DovecotServer::user) + "/." + DovecotServer::draftsFolder;
    return int(QDir(base + "/cur").entryList(QDir::Files).size() +
               QDir(base + "/new").entryList(QDir::Files).size());
}

void sendOne(Outbox &outbox, const QString &file)
{
    Draft draft;
    draft.subject = "token";
    draft.to = "someone@example.org";
    draft.from = "me@example.org";
    draft.attachmentPaths << file;
    outbox.file(draft, TransferMonitor::none());
}

ImapEndpoint plainEndpoint(const DovecotServer &dovecot)
{
    ImapEndpoint endpoint;
    endpoint.host = "127.0.0.1";
    endpoint.port = dovecot.imapPort();
    endpoint.security = ImapSecurity::None;
    endpoint.user = DovecotServer::user;
    return endpoint;
}

// The outbox's own login, with whichever mechanism the server announces, and with a token
// the server stopped taking, refreshed without a prompt.
TEST_F(DovecotTokenLogin, TheOutboxFilesDraftsWithTheSignInsToken)
{
    const QString file = folder.filePath("a.bin");
    writeFile(file, randomBytes(5000, 1));
    for (const char *mechanisms : {"xoauth2 oauthbearer", "xoauth2", "oauthbearer"}) {
        SCOPED_TRACE(mechanisms);
        start(mechanisms);
        auto source = std::make_shared<RefreshingTokenSource>(server.endpoints(), keyring, key);
        ImapOutbox outbox(plainEndpoint(*dovecot), source);
        EXPECT_FALSE(outbox.needsPassword());
        sendOne(outbox, file);
        EXPECT_EQ(draftsOnDisk(*dovecot), 1) << dovecot->log().toStdString();

        // Expired at the server after the first login: the next connection is refused once,
        // then logs in with a fresh token.
        server.post("/test/expire-access", {});
        ImapOutbox again(plainEndpoint(*dovecot), source);
        sendOne(again, file);
        EXPECT_EQ(draftsOnDisk(*dovecot), 2) << dovecot->log().toStdString();
        dovecot.reset();
    }
}

TEST_F(DovecotTokenLogin, ARevokedSignInFilesNothingAndSaysToSignInAgain)
{
    start("xoauth2 oauthbearer");
    const QString file = folder.filePath("a.bin");
    writeFile(file, randomBytes(100, 2));
    server.revoke(*keyring->read(key));
    auto source = std::make_shared<RefreshingTokenSource>(server.endpoints(), keyring, key);
    ImapOutbox outbox(plainEndpoint(*dovecot), source);
    QString failure;
    try {
        sendOne(outbox, file);
    } catch (const Failure &error) {
        failure = error.description();
    }
    EXPECT_TRUE(failure.contains("Sign in again in the Mail account window"))
        << failure.toStdString();
    EXPECT_EQ(draftsOnDisk(*dovecot), 0);
}

// The window makes its outbox as it opens and whenever the account changes: with a sign-in
// that no longer holds, or no token server in reach, it must still open, so that the Mail
// account window can be reached to sign in again. The Send is what fails, before filing.
TEST_F(DovecotTokenLogin, TheWindowsOutboxAsksForATokenOnlyWhenTheSendLogsIn)
{
    start("xoauth2 oauthbearer");
    const QString file = folder.filePath("a.bin");
    writeFile(file, randomBytes(100, 3));
    MemorySettingsStore settings;
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    account.imapHost = "127.0.0.1";
    account.imapPort = dovecot->imapPort();
    account.imapSecurity = ImapSecurity::None;
    account.imapUser = DovecotServer::user;
    account.imapAuth = ImapAuth::OAuth2;
    account.oauthProvider = OAuthProvider::Custom;
    account.oauthClientId = AuthorizationServer::clientId();
    account.oauthAuthorizeUrl = server.url("/authorize").toString();
    account.oauthTokenUrl = server.url("/token").toString();
    writeMailAccount(settings, account);
    const QString kept = QStringLiteral("imap-oauth2://%1@127.0.0.1:%2")
                             .arg(DovecotServer::user)
                             .arg(dovecot->imapPort());
    ASSERT_EQ(oauthTokenKey(readMailAccount(settings)), kept);
    server.revoke(*keyring->read(key));
    keyring->write(kept, *keyring->read(key));

    const int grantsBefore = server.counts().value("refresh_grants").toInt();
    std::unique_ptr<Outbox> outbox;
    EXPECT_EQ(failureOf([&] {
                  outbox = createOutbox(settings, std::nullopt, keyring, FirstToken::AtLogin);
              }),
              QString());
    ASSERT_NE(outbox, nullptr);
    EXPECT_EQ(server.counts().value("refresh_grants").toInt(), grantsBefore)
        << "no token server is asked while the window opens";

    const QString failure = failureOf([&] { sendOne(*outbox, file); });
    EXPECT_TRUE(failure.contains("Sign in again in the Mail account window")) << failure;
    EXPECT_EQ(draftsOnDisk(*dovecot), 0);

    // Signed in anew, the outbox the window then makes files.
    signedInRefreshToken(server, *keyring, kept, DovecotServer::user);
    const auto again = createOutbox(settings, std::nullopt, keyring, FirstToken::AtLogin);
    sendOne(*again, file);
    EXPECT_EQ(draftsOnDisk(*dovecot), 1) << dovecot->log().toStdString();
}

} // namespace
