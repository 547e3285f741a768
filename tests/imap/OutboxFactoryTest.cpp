#include "mailbridge/wiring/OutboxFactory.h"
#include "common/HomePath.h"

#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

TEST(OutboxFactory, MakesTheOutboxTheSettingsNameWithoutConnecting)
{
    QTemporaryDir dir;
    MemorySettingsStore store;
    store.write("MailClient", "Outbox", dir.filePath("Out"));
    auto maildir = createOutbox(store);
    auto *folder = dynamic_cast<MaildirOutbox *>(maildir.get());
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->folder(), dir.filePath("Out"));

    store.write("MailClient", "Kind", "imap");
    store.write("MailClient", "ImapHost", "imap.example.org");
    store.write("MailClient", "ImapUser", "me@example.org");
    store.write("MailClient", "ImapSecurity", "starttls");
    auto imap = createOutbox(store, QString("secret"));
    auto *drafts = dynamic_cast<ImapOutbox *>(imap.get());
    ASSERT_NE(drafts, nullptr);
    EXPECT_EQ(drafts->endpoint().host, "imap.example.org");
    EXPECT_EQ(drafts->endpoint().port, 143);
    EXPECT_EQ(drafts->endpoint().security, ImapSecurity::StartTls);
    EXPECT_TRUE(drafts->hasPassword());

    store.write("MailClient", "ImapSecurity", "none");
    EXPECT_THROW(createOutbox(store), Failure) << "no unencrypted login to another machine";
}

TEST(OutboxFactory, EachOutboxTellsWhereMessagesGo)
{
    QTemporaryDir temp;
    const struct
    {
        const char *name;
        QMap<QString, QString> keys;
        QString text;
    } rows[] = {
        {"maildir",
         {{"Outbox", temp.filePath("out")}},
         "the Maildir outbox " + temp.filePath("out")},
        {"imap drafts",
         {{"Kind", "imap"}, {"ImapHost", "imap.example.org"}, {"ImapUser", "me@example.org"}},
         "the Drafts folder of me@example.org at imap.example.org"},
        {"imap, other port and named folder",
         {{"Kind", "imap"},
          {"ImapHost", "imap.example.org"},
          {"ImapPort", "1993"},
          {"ImapUser", "me"},
          {"ImapFolder", "Outgoing"}},
         "the folder \"Outgoing\" of me at imap.example.org port 1993"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MemorySettingsStore store;
        for (auto key = row.keys.begin(); key != row.keys.end(); ++key)
            store.write("MailClient", key.key(), key.value());
        EXPECT_EQ(createOutbox(store)->destination(), row.text);
    }
    MemorySettingsStore unusable;
    unusable.write("MailClient", "Kind", "carrier pigeon");
    EXPECT_TRUE(
        failureOf([&] { createOutbox(unusable); }).startsWith("The setting Kind=carrier pigeon"));
}

TEST(OutboxFactory, EachOutboxSaysInPlainWordsWhereTheMessagesWent)
{
    QTemporaryDir temp;
    const QString folder = withHomeAsTilde(temp.filePath("out"));
    const QMap<QString, QString> smtp{{"Kind", "smtp"}, {"SmtpHost", "smtp.example.org"}};
    const QMap<QString, QString> sendmail{{"Kind", "sendmail"}};
    const struct
    {
        const char *name;
        QMap<QString, QString> keys;
        int messages;
        QString to;
        QString text;
    } rows[] = {
        {"maildir",
         {{"Outbox", temp.filePath("out")}},
         3,
         "ann@example.org",
         "3 messages in the outbox folder " + folder},
        {"maildir, one",
         {{"Outbox", temp.filePath("out")}},
         1,
         "ann@example.org",
         "1 message in the outbox folder " + folder},
        {"imap drafts",
         {{"Kind", "imap"}, {"ImapHost", "imap.example.org"}, {"ImapUser", "me@example.org"}},
         3,
         "ann@example.org",
         "3 drafts in the Drafts folder of me@example.org at imap.example.org"},
        {"imap, one draft into a named folder",
         {{"Kind", "imap"},
          {"ImapHost", "imap.example.org"},
          {"ImapUser", "me"},
          {"ImapFolder", "Outgoing"}},
         1,
         "ann@example.org",
         "1 draft in the folder \"Outgoing\" of me at imap.example.org"},
        {"smtp, one recipient with a name", smtp, 3, "Ann Example <ann@example.org>",
         "Sent to ann@example.org: 3 messages"},
        {"smtp, one message", smtp, 1, "ann@example.org", "Sent to ann@example.org: 1 message"},
        {"smtp, two", smtp, 2, "ann@example.org; \"Bob, B.\" <bob@example.org>",
         "Sent to ann@example.org and bob@example.org: 2 messages"},
        {"smtp, a group and one twice", smtp, 4,
         "Team: ann@example.org, bob@example.org;, ANN@example.org, cy@example.org",
         "Sent to ann@example.org, bob@example.org and 1 other: 4 messages"},
        {"sendmail, many", sendmail, 5,
         "a@example.org, b@example.org, c@example.org, d@example.org",
         "Sent to a@example.org, b@example.org and 2 others: 5 messages"},
        {"sendmail, no address it can read", sendmail, 2, "nobody at all",
         "Sent through this computer's mail program (/usr/sbin/sendmail -t -oi): 2 messages"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MemorySettingsStore store;
        for (auto key = row.keys.begin(); key != row.keys.end(); ++key)
            store.write("MailClient", key.key(), key.value());
        EXPECT_EQ(createOutbox(store)->deliveredText(row.messages, row.to), row.text);
    }
}

TEST(OutboxFactory, ShowsTheHomeFolderAsTilde)
{
    const QString home = QDir::homePath();
    EXPECT_EQ(withHomeAsTilde(home), "~");
    EXPECT_EQ(withHomeAsTilde(home + "/a/b"), "~/a/b");
    EXPECT_EQ(withHomeAsTilde(home + "x/a"), home + "x/a") << "a sibling is not inside home";
    EXPECT_EQ(withHomeAsTilde("/elsewhere"), "/elsewhere");
}

} // namespace

namespace {

// Whether a Send through SMTP keeps copies in Sent: the setting, else whether the provider's
// submission server files one itself; never without IMAP settings to reach Sent with.
TEST(OutboxFactory, KeepsSentCopiesUnlessTheProviderDoesOrTheSettingsSayNo)
{
    const struct
    {
        const char *name;
        QMap<QString, QString> keys;
        bool copies;
    } rows[] = {
        {"auto, an ordinary provider", {{"SmtpHost", "smtp.example.org"}}, true},
        {"auto, Gmail files its own", {{"SmtpHost", "smtp.gmail.com"}}, false},
        {"auto, Microsoft 365 files its own", {{"SmtpHost", "SMTP.office365.com"}}, false},
        {"auto, Outlook.com files its own", {{"SmtpHost", "smtp-mail.outlook.com"}}, false},
        {"a look-alike domain is not the provider", {{"SmtpHost", "smtp.notgmail.com"}}, true},
        {"yes beats the provider", {{"SmtpHost", "smtp.gmail.com"}, {"SaveSentCopy", "yes"}}, true},
        {"no", {{"SmtpHost", "smtp.example.org"}, {"SaveSentCopy", "NO"}}, false},
        {"no IMAP account to keep them in",
         {{"SmtpHost", "smtp.example.org"}, {"ImapHost", ""}, {"SaveSentCopy", "yes"}},
         false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MemorySettingsStore store;
        store.write("MailClient", "Kind", "smtp");
        store.write("MailClient", "ImapHost", "imap.example.org");
        store.write("MailClient", "ImapUser", "me@example.org");
        for (auto key = row.keys.begin(); key != row.keys.end(); ++key)
            store.write("MailClient", key.key(), key.value());
        const MailAccount account = readMailAccount(store);
        EXPECT_EQ(keepsSentCopies(account), row.copies);
        // The outbox made from the settings keeps them, and asks for the password they need.
        auto outbox = createOutbox(store);
        auto *smtp = dynamic_cast<SmtpOutbox *>(outbox.get());
        ASSERT_NE(smtp, nullptr);
        EXPECT_EQ(smtp->keepsSentCopies(), row.copies);
        EXPECT_TRUE(smtp->needsPassword());
    }
    MemorySettingsStore store;
    store.write("MailClient", "Kind", "imap");
    store.write("MailClient", "ImapHost", "imap.example.org");
    store.write("MailClient", "ImapUser", "me@example.org");
    store.write("MailClient", "SaveSentCopy", "yes");
    EXPECT_FALSE(keepsSentCopies(readMailAccount(store))) << "drafts are not sent";
    // Written back as chosen; an account that never chose keeps its file as it was.
    MailAccount account = readMailAccount(store);
    account.saveSentCopy = SaveSentCopy::No;
    MemorySettingsStore written;
    writeMailAccount(written, account);
    EXPECT_EQ(written.values.value("MailClient/SaveSentCopy"), "no");
    EXPECT_EQ(readMailAccount(written).saveSentCopy, SaveSentCopy::No);
    account.saveSentCopy = SaveSentCopy::Auto;
    MemorySettingsStore untouched;
    writeMailAccount(untouched, account);
    EXPECT_FALSE(untouched.values.contains("MailClient/SaveSentCopy"));
    store.write("MailClient", "SaveSentCopy", "sometimes");
    const QString failure = failureOf([&] { readMailAccount(store); });
    EXPECT_TRUE(failure.contains("SaveSentCopy=sometimes")) << failure;
    EXPECT_TRUE(failure.contains("auto, yes or no")) << failure;
}

} // namespace
