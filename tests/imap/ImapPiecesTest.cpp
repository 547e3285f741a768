#include "mailbridge/imap/AttachmentProgress.h"
#include "mailbridge/imap/ImapResponses.h"
#include "mailbridge/imap/MailboxName.h"
#include "mailbridge/imap/PrivateTempFile.h"

#include "RecordingMonitor.h"
#include "support/TestTools.h"

#include <sys/stat.h>

namespace {

TEST(MailboxName, EncodesAndDecodesModifiedUtf7)
{
    const struct
    {
        QString name;
        QByteArray encoded;
    } rows[] = {{"Drafts", "Drafts"},
                {"Entwürfe", "Entw&APw-rfe"},
                {"A & B", "A &- B"},
                {"日本語", "&ZeVnLIqe-"},
                {"x~é/ö", "x~&AOk-/&APY-"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.encoded.toStdString());
        EXPECT_EQ(encodeMailboxName(row.name), row.encoded);
        EXPECT_EQ(decodeMailboxName(row.encoded), row.name);
    }
    EXPECT_EQ(imapQuoted("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
}

TEST(ImapResponses, ReadsWhatTheSessionNeeds)
{
    const QList<QByteArray> lines = {
        "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready",
        "A001 OK [CAPABILITY IMAP4rev1 UIDPLUS APPENDLIMIT=35882577 SPECIAL-USE] Logged in",
        "* LIST (\\HasNoChildren \\Drafts) \"/\" Brouillons",
        "* LIST (\\HasNoChildren) \"/\" \"My \\\"Stuff\\\"\"",
        "* LIST () \"/\" {5}",
        "a b c",
        "* STATUS \"Drafts\" (MESSAGES 3 APPENDLIMIT 1000)",
        "A002 NO [OVERQUOTA] Quota exceeded",
        "A003 OK Logout completed",
    };
    const QList<QByteArray> capabilities = capabilitiesIn(lines);
    EXPECT_TRUE(capabilities.contains("UIDPLUS")) << "the later list wins";
    EXPECT_EQ(appendLimitIn(capabilities), 35882577u);
    EXPECT_EQ(appendLimitIn({"IMAP4REV1", "APPENDLIMIT"}), std::nullopt);

    const QList<ListedMailbox> folders = listedMailboxes(lines, "LIST");
    ASSERT_EQ(folders.size(), 3);
    EXPECT_EQ(folders[0].name, "Brouillons");
    EXPECT_TRUE(folders[0].attributes.contains("\\Drafts"));
    EXPECT_EQ(folders[1].name, "My \"Stuff\"");
    EXPECT_EQ(folders[2].name, "a b c");

    EXPECT_EQ(statusItem(lines, "APPENDLIMIT"), 1000u);
    EXPECT_EQ(statusItem(lines, "UIDNEXT"), std::nullopt);
    EXPECT_EQ(lastRefusal(lines), "NO [OVERQUOTA] Quota exceeded")
        << "the refusal, not the logout after it";
}

TEST(AttachmentProgress, CountsAttachmentBytesInProportionAndInOrder)
{
    RecordingMonitor monitor;
    std::vector<std::int64_t> totals;
    monitor.onBytes = [&](std::int64_t total) { totals.push_back(total); };
    // 300 bytes of attachments in a message of 600 bytes.
    AttachmentProgress progress({{"a", 100}, {"empty", 0}, {"b", 200}}, 600, monitor);
    progress.messageSent(0);
    EXPECT_TRUE(monitor.started.isEmpty()) << "nothing before the first byte";
    progress.messageSent(100);
    EXPECT_EQ(monitor.total, 50);
    EXPECT_EQ(monitor.started, QStringList({"a"}));
    progress.messageSent(300);
    EXPECT_EQ(monitor.total, 150);
    EXPECT_EQ(monitor.started, QStringList({"a", "empty", "b"}));
    progress.messageSent(250); // never backwards
    EXPECT_EQ(monitor.total, 150);
    progress.finish();
    progress.finish();
    EXPECT_EQ(monitor.total, 300);
    EXPECT_EQ(totals, (std::vector<std::int64_t>{50, 100, 150, 300}))
        << "a's rest, then b's share, each file's bytes apart";
}

TEST(PrivateTempFile, IsPrivateAndLeavesNoName)
{
    const PrivateTempFile file = createPrivateTempFile();
    struct stat status = {};
    ASSERT_EQ(::fstat(file.fd.get(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_nlink, 0u) << "no name in any folder";
    EXPECT_FALSE(QFile::exists(file.path));
}

} // namespace
