#include "common/HomePath.h"
#include "mailbridge/wiring/OutboxFactory.h"

#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/MaildirOutbox.h"
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

TEST(OutboxFactory, ShowsTheHomeFolderAsTilde)
{
    const QString home = QDir::homePath();
    EXPECT_EQ(withHomeAsTilde(home), "~");
    EXPECT_EQ(withHomeAsTilde(home + "/a/b"), "~/a/b");
    EXPECT_EQ(withHomeAsTilde(home + "x/a"), home + "x/a") << "a sibling is not inside home";
    EXPECT_EQ(withHomeAsTilde("/elsewhere"), "/elsewhere");
}

} // namespace
