#include "mailbridge/MailAccount.h"
#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/password/PasswordCommand.h"
#include "settings/IniLines.h"
#include "settings/QtSettingsStore.h"
#include "support/MemorySettingsStore.h"
#include "support/PrivateConfigHome.h"
#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrlQuery>

namespace {

MailAccount oauthAccount()
{
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    account.imapHost = "imap.example.org";
    account.imapUser = "me@example.org";
    account.imapAuth = ImapAuth::OAuth2;
    return account;
}

TEST(OAuthSettings, EveryKeyRoundTripsAndPasswordStaysTheDefault)
{
    MemorySettingsStore store;
    store.values = {{"MailClient/Kind", "imap"}};
    EXPECT_EQ(readMailAccount(store).imapAuth, ImapAuth::Password) << "older files keep working";

    MailAccount account = oauthAccount();
    account.oauthProvider = OAuthProvider::Custom;
    account.oauthClientId = "id-1";
    account.oauthClientSecret = "not-secret";
    account.oauthAuthorizeUrl = "https://login.example.org/authorize";
    account.oauthTokenUrl = "https://login.example.org/token";
    account.oauthScope = "imap offline_access";
    account.tokenCommand = "oauth-helper --for me";
    writeMailAccount(store, account);
    EXPECT_EQ(store.values.value("MailClient/ImapAuth"), "oauth2");
    EXPECT_EQ(store.values.value("MailClient/OAuth2Provider"), "custom");
    const MailAccount read = readMailAccount(store);
    EXPECT_EQ(read.imapAuth, ImapAuth::OAuth2);
    EXPECT_EQ(read.oauthProvider, OAuthProvider::Custom);
    EXPECT_EQ(read.oauthClientId, "id-1");
    EXPECT_EQ(read.oauthClientSecret, "not-secret");
    EXPECT_EQ(read.oauthAuthorizeUrl, account.oauthAuthorizeUrl);
    EXPECT_EQ(read.oauthTokenUrl, account.oauthTokenUrl);
    EXPECT_EQ(read.oauthScope, account.oauthScope);
    EXPECT_EQ(read.tokenCommand, account.tokenCommand);

    store.values["MailClient/ImapAuth"] = "kerberos";
    EXPECT_TRUE(failureOf([&] { readMailAccount(store); }).contains("ImapAuth=kerberos"));
    store.values["MailClient/ImapAuth"] = "OAuth2";
    store.values["MailClient/OAuth2Provider"] = "yahoo";
    EXPECT_TRUE(failureOf([&] { readMailAccount(store); }).contains("OAuth2Provider=yahoo"));
}

TEST(OAuthSettings, ACustomProviderNeedsWebAddressesThatKeepTheCodeUnreadable)
{
    const struct
    {
        const char *authorize;
        const char *token;
        const char *refused; // empty: accepted
    } rows[] = {
        {"https://a.example/auth", "https://a.example/token", ""},
        {"http://127.0.0.1:8080/auth", "http://localhost:8080/token", ""},
        {"", "https://a.example/token", "OAuth2AuthorizeUrl"},
        {"https://a.example/auth", "http://a.example/token", "OAuth2TokenUrl"},
        {"https://a.example/auth", "a.example/token", "OAuth2TokenUrl"},
        {"ftp://a.example/auth", "https://a.example/token", "OAuth2AuthorizeUrl"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.token);
        MailAccount account = oauthAccount();
        account.oauthProvider = OAuthProvider::Custom;
        account.oauthAuthorizeUrl = row.authorize;
        account.oauthTokenUrl = row.token;
        const QString failure = failureOf([&] { checkMailAccount(account); });
        EXPECT_EQ(failure.isEmpty(), QString(row.refused).isEmpty()) << failure;
        EXPECT_TRUE(failure.contains(row.refused)) << failure;
    }
    MailAccount account = oauthAccount();
    account.imapSecurity = ImapSecurity::None;
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).contains("sign-in token"));
}

TEST(OAuthSettings, ProvidersComeWithTheirEndpointsAndServers)
{
    MailAccount account = oauthAccount();
    account.oauthClientId = "pasted-id";
    const OAuthEndpoints microsoft = oauthEndpoints(account);
    EXPECT_EQ(microsoft.authorizeUrl.toString(),
              "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
    EXPECT_EQ(microsoft.tokenUrl.toString(),
              "https://login.microsoftonline.com/common/oauth2/v2.0/token");
    EXPECT_EQ(microsoft.scope,
              "https://outlook.office.com/IMAP.AccessAsUser.All offline_access openid email");
    EXPECT_EQ(microsoft.clientId, "pasted-id");
    EXPECT_TRUE(microsoft.redirectToLocalhost) << "the name its registration takes";
    EXPECT_EQ(providerServer(OAuthProvider::Microsoft).host, "outlook.office365.com");

    account.oauthProvider = OAuthProvider::Google;
    account.oauthClientSecret = "google-gives-one";
    const OAuthEndpoints google = oauthEndpoints(account);
    EXPECT_EQ(google.scope, "https://mail.google.com/ openid email");
    EXPECT_EQ(google.clientSecret, "google-gives-one");
    EXPECT_TRUE(google.authorizeExtras.contains({"access_type", "offline"}))
        << "else no refresh token";
    EXPECT_FALSE(google.redirectToLocalhost);
    const ProviderServer gmail = providerServer(OAuthProvider::Google);
    EXPECT_EQ(gmail.host, "imap.gmail.com");
    EXPECT_EQ(gmail.port, 993);
    EXPECT_EQ(gmail.security, ImapSecurity::Tls);

    account.oauthProvider = OAuthProvider::Custom;
    account.oauthClientId.clear();
    EXPECT_TRUE(failureOf([&] { oauthEndpoints(account); }).contains("OAuth2ClientId"));
}

TEST(IniLines, OnlyTheKeysLineInItsSectionIsReadOrReplaced)
{
    const QByteArray file = "[Main]\nPasswordCommand=other\n; PasswordCommand=comment\n"
                            "[MailClient]\nPasswordCommand = first\nPasswordCommand=\"a;b\"  \n"
                            "Outbox=/x\n";
    EXPECT_EQ(rawIniValue(file, "MailClient", "PasswordCommand"), QString("\"a;b\""));
    EXPECT_EQ(rawIniValue(file, "MailClient", "TokenCommand"), std::nullopt);
    const QList<IniLine> lines = verbatimLines(file);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].section, "Main");
    EXPECT_EQ(lines[2].value, "\"a;b\"");

    const QByteArray replaced =
        withVerbatimLines(file, {{"MailClient", "PasswordCommand", "echo \"x,y\""}});
    EXPECT_EQ(rawIniValue(replaced, "MailClient", "PasswordCommand"), QString("echo \"x,y\""));
    EXPECT_EQ(rawIniValue(replaced, "Main", "PasswordCommand"), QString("other"));
    EXPECT_TRUE(replaced.contains("; PasswordCommand=comment\n"));
    EXPECT_TRUE(replaced.endsWith("Outbox=/x\n"));
}

class VerbatimCommands : public testing::Test
{
protected:
    void handWrite(const QByteArray &lines)
    {
        QDir().mkpath(QFileInfo(home.settingsFile()).path());
        writeFile(home.settingsFile(), "[MailClient]\nKind=imap\nImapHost=imap.example.org\n"
                                       "ImapUser=me\n" +
                                           lines);
    }

    QTemporaryDir config;
    PrivateConfigHome home{config.path()};
};

TEST_F(VerbatimCommands, ACommandTypedIntoTheFileReachesTheShellAsWritten)
{
    const struct
    {
        QByteArray line;
        QString command;
        QString printed; // the first line the shell's run of it prints
    } rows[] = {
        {R"(echo "a;b,c\"d")", R"(echo "a;b,c\"d")", R"(a;b,c"d)"},
        {R"(printf '%s\n' 'x, y' ; echo second)", R"(printf '%s\n' 'x, y' ; echo second)", "x, y"},
        {R"(echo back\\slash)", R"(echo back\\slash)", R"(back\slash)"},
        {R"(echo "quoted")", R"(echo "quoted")", "quoted"},
        {"echo plain", "echo plain", "plain"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        handWrite("PasswordCommand=" + row.line + "\nTokenCommand=" + row.line + "\n");
        QtSettingsStore store;
        MailAccount account = readMailAccount(store);
        EXPECT_EQ(account.passwordCommand, row.command);
        EXPECT_EQ(account.tokenCommand, row.command);
        EXPECT_EQ(runPasswordCommand(account.passwordCommand), row.printed);

        // The program writes something else: the file is written anew, the command kept.
        store.write("Main", "MaxSize", "1500");
        EXPECT_EQ(readMailAccount(QtSettingsStore()).passwordCommand, row.command);
        // The window saves the account: still the same command.
        writeMailAccount(store, account);
        account = readMailAccount(QtSettingsStore());
        EXPECT_EQ(account.passwordCommand, row.command);
        EXPECT_EQ(account.tokenCommand, row.command);
        EXPECT_EQ(runPasswordCommand(account.tokenCommand), row.printed);
    }
}

TEST_F(VerbatimCommands, ACommandSavedFromTheWindowReadsBackTheSame)
{
    for (const QString &command :
         {QString(R"(echo "a;b,c\"d")"), QString("@echo at"), QString("a=b sh -c 'echo $a'"),
          QString(R"(printf '%s\n' "\\")")}) {
        SCOPED_TRACE(command.toStdString());
        handWrite("");
        MailAccount account = readMailAccount(QtSettingsStore());
        account.passwordCommand = command;
        QtSettingsStore store;
        writeMailAccount(store, account);
        EXPECT_EQ(readMailAccount(QtSettingsStore()).passwordCommand, command);
    }
}

} // namespace
