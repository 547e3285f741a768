// Drafts on a Cyrus of the tests' own: the INBOX. namespace without a folder marked \Drafts,
// and a server that refuses any message with a bare line feed.
#include "CyrusServer.h"
#include "DraftsFolderRoundTrip.h"
#include "FileDraft.h"
#include "ImapFolderReader.h"
#include "TestServerProcesses.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

class CyrusDraftsTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<CyrusServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    ImapEndpoint endpoint() const
    {
        ImapEndpoint endpoint;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = s_server->imapsPort();
        endpoint.security = ImapSecurity::Tls;
        endpoint.user = QStringLiteral("drafter");
        endpoint.caFile = s_server->caFile();
        return endpoint;
    }

    QString send(ImapOutbox &outbox, const QString &subject, const QStringList &attachments)
    {
        return failureOf([&] { fileDraft(outbox, subject, attachments); });
    }

    std::vector<StoredMessage> drafts() const
    {
        return ImapFolderReader(s_server->imapsPort(), s_server->caFile(), CyrusServer::user,
                                CyrusServer::password)
            .messages(CyrusServer::draftsFolder);
    }

    QTemporaryDir dir;
    static std::unique_ptr<CyrusServer> s_server;
};
std::unique_ptr<CyrusServer> CyrusDraftsTest::s_server;

TEST_F(CyrusDraftsTest, DraftsWithTextAndBinaryAttachmentsAreFiledUnderTheInboxPrefix)
{
    // Text with bare line feeds, as files on this system have them, goes out as CRLF lines.
    const QString text = writeFile(dir.filePath("notes.txt"), "one\ntwo\n\nthree\n");
    const QString binary = writeFile(dir.filePath("data.bin"), randomBytes(70000, 3));
    ImapOutbox outbox(endpoint(), QString(CyrusServer::password));

    const QString failure = send(outbox, "to cyrus", {text, binary});
    EXPECT_TRUE(failure.isEmpty()) << failure << "\n" << s_server->log();

    std::vector<StoredMessage> stored = drafts();
    std::erase_if(stored, [](const StoredMessage &m) { return !m.bytes.contains("to cyrus"); });
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].bytes.contains("Subject: to cyrus")) << stored[0].bytes.left(400).data();
    EXPECT_TRUE(stored[0].flags.contains("\\Draft")) << stored[0].flags.join(' ');
}

// Cyrus offers CREATE-SPECIAL-USE: the folder made for drafts is marked so that mail clients
// show it as such.
TEST_F(CyrusDraftsTest, TheDraftsFolderMadeIsMarkedForMailClients)
{
    // This Cyrus makes an unmarked Drafts for each account: gone, it is ours to make.
    const ImapFolderReader reader(s_server->imapsPort(), s_server->caFile(), CyrusServer::user,
                                  CyrusServer::password);
    reader.command("DELETE \"INBOX.Drafts\"");
    ImapOutbox outbox(endpoint(), QString(CyrusServer::password));
    const QString failure = send(outbox, "marked", {writeFile(dir.filePath("a.txt"), "a\n")});
    ASSERT_TRUE(failure.isEmpty()) << failure;
    const QList<QByteArray> listed =
        reader.command("LIST \"\" \"INBOX.Drafts\" RETURN (SPECIAL-USE)");
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [](const QByteArray &line) {
        return line.contains("\\Drafts");
    })) << listed.join('\n').toStdString();
}

TEST_F(CyrusDraftsTest, ADraftIntoTheFolderSetIsTakenWhole)
{
    const QString text = writeFile(dir.filePath("lines.txt"), "a\nb\r\nc\n");
    ImapEndpoint account = endpoint();
    account.folder = QStringLiteral("INBOX.Drafts");
    ImapOutbox outbox(account, QString(CyrusServer::password));

    const QString failure = send(outbox, "folder set", {text});
    EXPECT_TRUE(failure.isEmpty()) << failure;
    const std::vector<StoredMessage> stored = drafts();
    EXPECT_EQ(std::count_if(stored.begin(), stored.end(),
                            [](const StoredMessage &m) { return m.bytes.contains("folder set"); }),
              1);
}

TEST(CyrusServerTest, EveryProcessOfItIsFoundAndGoesWithIt)
{
    pid_t group = 0;
    {
        CyrusServer server;
        group = server.processGroup();
        ASSERT_FALSE(processesOfGroup(group).empty());
        EXPECT_EQ(groupMembersTheCheckMisses(group), std::vector<pid_t>())
            << "these would escape the check after the tests";
    }
    EXPECT_TRUE(processesOfGroup(group).empty());
}

} // namespace

TEST_F(CyrusDraftsTest, DraftsAreListedFetchedAndMovedOut)
{
    const std::vector<DraftRemoval> removals =
        roundTrip(endpoint(), QString(CyrusServer::password), true);
    EXPECT_EQ(removals,
              std::vector<DraftRemoval>({DraftRemoval::Moved, DraftRemoval::CopiedExpunged,
                                         DraftRemoval::CopiedExpunged}));
    const std::vector<StoredMessage> sent =
        ImapFolderReader(s_server->imapsPort(), s_server->caFile(), CyrusServer::user,
                         CyrusServer::password)
            .messages(QStringLiteral("INBOX.Sent"));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, rawDrafts(1536 * 1024)[0].bytes);
    EXPECT_FALSE(sent[0].flags.contains("\\Draft"));
}
