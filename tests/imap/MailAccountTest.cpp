#include "mailbridge/MailAccount.h"

#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

namespace {

MailAccount accountFrom(const QMap<QString, QString> &keys)
{
    MemorySettingsStore store;
    for (auto key = keys.begin(); key != keys.end(); ++key)
        store.write("MailClient", key.key(), key.value());
    return readMailAccount(store);
}

TEST(MailAccount, ReadsKindSecurityAndPortWithTheirDefaults)
{
    const struct
    {
        const char *name;
        QMap<QString, QString> keys;
        MailAccountKind kind;
        ImapSecurity security;
        int port;
    } rows[] = {
        {"nothing set", {}, MailAccountKind::Maildir, ImapSecurity::Tls, 993},
        {"imap, tls by default", {{"Kind", "imap"}}, MailAccountKind::Imap, ImapSecurity::Tls, 993},
        {"starttls",
         {{"Kind", "IMAP"}, {"ImapSecurity", "starttls"}},
         MailAccountKind::Imap,
         ImapSecurity::StartTls,
         143},
        {"none",
         {{"Kind", "imap"}, {"ImapSecurity", "none"}},
         MailAccountKind::Imap,
         ImapSecurity::None,
         143},
        {"port set",
         {{"Kind", "imap"}, {"ImapPort", " 1993 "}},
         MailAccountKind::Imap,
         ImapSecurity::Tls,
         1993},
        {"empty port",
         {{"Kind", "maildir"}, {"ImapPort", ""}},
         MailAccountKind::Maildir,
         ImapSecurity::Tls,
         993},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const MailAccount account = accountFrom(row.keys);
        EXPECT_EQ(account.kind, row.kind);
        EXPECT_EQ(account.imapSecurity, row.security);
        EXPECT_EQ(account.imapPort, row.port);
    }
}

TEST(MailAccount, RefusesValuesItDoesNotUnderstandNamingTheKey)
{
    const struct
    {
        const char *key;
        const char *value;
    } rows[] = {{"Kind", "pop3"},
                {"ImapSecurity", "ssl3"},
                {"ImapPort", "0"},
                {"ImapPort", "70000"},
                {"ImapPort", "imaps"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.key) + "=" + row.value);
        const QString failure = failureOf([&] { accountFrom({{row.key, row.value}}); });
        EXPECT_TRUE(failure.contains(QStringLiteral("%1=%2").arg(row.key, row.value)))
            << failure.toStdString();
        EXPECT_TRUE(failure.contains("[MailClient]")) << failure.toStdString();
    }
}

TEST(MailAccount, WritesEveryKeyButNeverAPassword)
{
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    account.outbox = "/mail/out";
    account.imapHost = "imap.example.org";
    account.imapPort = 1143;
    account.imapSecurity = ImapSecurity::StartTls;
    account.imapUser = "me@example.org";
    account.imapFolder = "Entwürfe";
    account.passwordCommand = "pass show mail";
    MemorySettingsStore store;
    writeMailAccount(store, account);

    const MailAccount back = readMailAccount(store);
    EXPECT_EQ(back.kind, account.kind);
    EXPECT_EQ(back.outbox, account.outbox);
    EXPECT_EQ(back.imapHost, account.imapHost);
    EXPECT_EQ(back.imapPort, account.imapPort);
    EXPECT_EQ(back.imapSecurity, account.imapSecurity);
    EXPECT_EQ(back.imapUser, account.imapUser);
    EXPECT_EQ(back.imapFolder, account.imapFolder);
    EXPECT_EQ(back.passwordCommand, account.passwordCommand);
    EXPECT_EQ(store.values.value("MailClient/ImapSecurity"), "starttls");
    for (const QString &key : store.writes) {
        EXPECT_TRUE(key.startsWith("MailClient/")) << key.toStdString();
        EXPECT_FALSE(key.contains("Password") && key != "MailClient/PasswordCommand")
            << key.toStdString();
    }
}

TEST(MailAccount, NoEncryptionOnlyToThisMachine)
{
    const struct
    {
        const char *host;
        bool allowed;
    } rows[] = {{"localhost", true},
                {"LOCALHOST", true},
                {"127.0.0.1", true},
                {"127.1.2.3", true},
                {"::1", true},
                {"[::1]", true},
                {"128.0.0.1", false},
                {"imap.example.org", false},
                {"localhost.example", false},
                {"::ffff:10.0.0.1", false},
                {"192.168.1.1", false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.host);
        MailAccount account;
        account.kind = MailAccountKind::Imap;
        account.imapHost = row.host;
        account.imapUser = "me";
        account.imapSecurity = ImapSecurity::None;
        const QString failure = failureOf([&] { checkMailAccount(account); });
        EXPECT_EQ(failure.isEmpty(), row.allowed) << failure.toStdString();
        EXPECT_EQ(isLoopbackHost(row.host), row.allowed);
        account.imapSecurity = ImapSecurity::Tls;
        EXPECT_NO_THROW(checkMailAccount(account)) << "encrypted, any host will do";
    }
    MemorySettingsStore store;
    MailAccount remote;
    remote.kind = MailAccountKind::Imap;
    remote.imapHost = "imap.example.org";
    remote.imapUser = "me";
    remote.imapSecurity = ImapSecurity::None;
    EXPECT_THROW(writeMailAccount(store, remote), Failure);
    EXPECT_TRUE(store.writes.isEmpty()) << "nothing of a refused account is kept";
}

TEST(MailAccount, AnImapAccountNeedsHostAndUser)
{
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).contains("no IMAP server"));
    account.imapHost = "imap.example.org";
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).contains("no user name"));
}

} // namespace
