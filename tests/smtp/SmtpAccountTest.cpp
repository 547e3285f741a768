#include "mailbridge/MailAccount.h"
#include "mailbridge/wiring/OutboxFactory.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <gtest/gtest.h>

namespace {

MemorySettingsStore storeWith(const QMap<QString, QString> &keys)
{
    MemorySettingsStore store;
    for (auto key = keys.begin(); key != keys.end(); ++key)
        store.write("MailClient", key.key(), key.value());
    return store;
}

TEST(SmtpAccount, ReadsItsKeysWithTheirDefaults)
{
    MailAccount account = readMailAccount(storeWith(
        {{"Kind", "smtp"}, {"SmtpHost", "smtp.example.org"}, {"ImapUser", "me@example.org"}}));
    EXPECT_EQ(account.kind, MailAccountKind::Smtp);
    EXPECT_EQ(account.smtpSecurity, ImapSecurity::Tls);
    EXPECT_EQ(account.smtpPort, 465);
    EXPECT_EQ(smtpLoginUser(account), "me@example.org") << "SmtpUser defaults to ImapUser";
    EXPECT_EQ(account.smtpAuth, ImapAuth::Password);

    account = readMailAccount(storeWith({{"Kind", "SMTP"},
                                         {"SmtpHost", "smtp.example.org"},
                                         {"SmtpSecurity", "starttls"},
                                         {"SmtpUser", "other@example.org"},
                                         {"SmtpAuth", "oauth2"}}));
    EXPECT_EQ(account.smtpPort, 587);
    EXPECT_EQ(smtpLoginUser(account), "other@example.org");
    EXPECT_EQ(account.smtpAuth, ImapAuth::OAuth2);
    EXPECT_TRUE(usesOAuth(account));

    for (const auto &[key, value] :
         {std::pair{"SmtpSecurity", "ssl"}, std::pair{"SmtpPort", "0"},
          std::pair{"SmtpAuth", "kerberos"}, std::pair{"Kind", "mapi"}}) {
        const QString failure = failureOf([&] { readMailAccount(storeWith({{key, value}})); });
        EXPECT_TRUE(failure.contains(QLatin1String(key))) << failure;
    }
}

TEST(SmtpAccount, WritesWhatItReadsBack)
{
    MailAccount account;
    account.kind = MailAccountKind::Smtp;
    account.smtpHost = "smtp.example.org";
    account.smtpPort = 2525;
    account.smtpSecurity = ImapSecurity::StartTls;
    account.smtpUser = "me@example.org";
    MemorySettingsStore store;
    writeMailAccount(store, account);
    const MailAccount back = readMailAccount(store);
    EXPECT_EQ(back.kind, MailAccountKind::Smtp);
    EXPECT_EQ(back.smtpHost, account.smtpHost);
    EXPECT_EQ(back.smtpPort, 2525);
    EXPECT_EQ(back.smtpSecurity, ImapSecurity::StartTls);
    EXPECT_EQ(back.smtpUser, account.smtpUser);

    MailAccount local;
    local.kind = MailAccountKind::Sendmail;
    local.sendmailCommand = "msmtp -a 'work' -t";
    MemorySettingsStore other;
    writeMailAccount(other, local);
    EXPECT_EQ(readMailAccount(other).sendmailCommand, local.sendmailCommand);
    EXPECT_EQ(readMailAccount(other).kind, MailAccountKind::Sendmail);
}

TEST(SmtpAccount, RefusesWhatCannotBeSentSafelyNamingTheSetting)
{
    MailAccount account;
    account.kind = MailAccountKind::Smtp;
    account.smtpHost = "smtp.example.org";
    account.smtpSecurity = ImapSecurity::None;
    account.smtpUser = "me";
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).contains("SmtpSecurity"));
    account.smtpHost = "127.0.0.1";
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).isEmpty());
    account.smtpUser = "me\r\nQUIT";
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).contains("SmtpUser"));
    account.smtpUser = "me";
    account.smtpHost.clear();
    EXPECT_TRUE(failureOf([&] { checkMailAccount(account); }).contains("SmtpHost"));

    MailAccount local;
    local.kind = MailAccountKind::Sendmail;
    local.sendmailCommand = QStringLiteral("sendmail -t") + QChar(0);
    EXPECT_TRUE(failureOf([&] { checkMailAccount(local); }).contains("SendmailCommand"));
}

TEST(SmtpAccount, TheFactoryMakesTheOutboxTheKindNames)
{
    const MemorySettingsStore smtp = storeWith(
        {{"Kind", "smtp"}, {"SmtpHost", "smtp.example.org"}, {"SmtpUser", "me@example.org"}});
    const auto sending = createOutbox(smtp, QStringLiteral("pw"));
    EXPECT_NE(dynamic_cast<SmtpOutbox *>(sending.get()), nullptr);
    EXPECT_EQ(sending->lineEnding(), LineEnding::CrLf);
    EXPECT_FALSE(sending->needsPassword());
    EXPECT_TRUE(createOutbox(smtp)->needsPassword());
    EXPECT_NE(dynamic_cast<SmtpOutbox *>(createSizingOutbox(smtp).get()), nullptr);

    const auto local = createOutbox(storeWith({{"Kind", "sendmail"}}));
    EXPECT_NE(dynamic_cast<SendmailOutbox *>(local.get()), nullptr);
    EXPECT_TRUE(local->destination().contains("/usr/sbin/sendmail -t -oi"));
    EXPECT_EQ(local->lineEnding(), LineEnding::Lf);
}

} // namespace
