// Drafts on a Courier of the tests' own: the INBOX. namespace without a folder marked \Drafts,
// where a top-level folder cannot be made.
#include "CourierServer.h"
#include "DraftsFolderRoundTrip.h"
#include "FileDraft.h"
#include "TestServerProcesses.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

class CourierDraftsTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<CourierServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    ImapOutbox outbox(const QString &folder = QString()) const
    {
        ImapEndpoint endpoint;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = s_server->imapPort();
        endpoint.security = ImapSecurity::None;
        endpoint.user = QString(CourierServer::user);
        endpoint.folder = folder;
        return ImapOutbox(endpoint, QString(CourierServer::password));
    }

    QString send(ImapOutbox &outbox, const QString &subject, const QStringList &attachments)
    {
        return failureOf([&] { fileDraft(outbox, subject, attachments); });
    }

    // Courier keeps its Maildir's lines in LF, as Maildir readers expect, whatever came over
    // the wire; the scripted peer's tests hold the client to CRLF.
    int draftsWith(const QByteArray &subject) const
    {
        const QList<QByteArray> stored = s_server->messagesIn(CourierServer::draftsFolder);
        return int(std::count_if(stored.begin(), stored.end(), [&](const QByteArray &message) {
            return message.contains("Subject: " + subject + "\n");
        }));
    }

    QTemporaryDir dir;
    static std::unique_ptr<CourierServer> s_server;
};
std::unique_ptr<CourierServer> CourierDraftsTest::s_server;

TEST_F(CourierDraftsTest, DraftsAreFiledInTheDraftsFolderUnderTheInboxPrefix)
{
    const QString text = writeFile(dir.filePath("notes.txt"), "one\ntwo\n");
    const QString binary = writeFile(dir.filePath("data.bin"), randomBytes(50000, 5));
    ImapOutbox drafts = outbox();
    const QString failure = send(drafts, "to courier", {text, binary});
    EXPECT_TRUE(failure.isEmpty()) << failure << "\n" << s_server->log();
    EXPECT_EQ(draftsWith("to courier"), 1);
}

TEST_F(CourierDraftsTest, ADraftIntoTheFolderSetIsFiledThere)
{
    const QString text = writeFile(dir.filePath("lines.txt"), "a\nb\n");
    ImapOutbox drafts = outbox(QStringLiteral("INBOX.Drafts"));
    const QString failure = send(drafts, "folder set", {text});
    EXPECT_TRUE(failure.isEmpty()) << failure << "\n" << s_server->log();
    EXPECT_EQ(draftsWith("folder set"), 1);
}

TEST(CourierServerTest, EveryProcessOfItIsFoundAndGoesWithIt)
{
    pid_t group = 0;
    {
        CourierServer server;
        group = server.processGroup();
        ASSERT_FALSE(processesOfGroup(group).empty());
        EXPECT_EQ(groupMembersTheCheckMisses(group), std::vector<pid_t>())
            << "these would escape the check after the tests";
    }
    EXPECT_TRUE(processesOfGroup(group).empty());
}

} // namespace

TEST_F(CourierDraftsTest, DraftsAreListedFetchedAndTakenOut)
{
    ImapEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = s_server->imapPort();
    endpoint.security = ImapSecurity::None;
    endpoint.user = QString(CourierServer::user);
    // Keywords are off here, and MOVE is not offered.
    const std::vector<DraftRemoval> removals =
        roundTrip(endpoint, QString(CourierServer::password), false);
    EXPECT_EQ(removals, std::vector<DraftRemoval>(3, DraftRemoval::CopiedExpunged));
    const QList<QByteArray> sent = s_server->messagesIn(QStringLiteral("INBOX.Sent"));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].contains("Message-ID: <first.1@ferrymail.test>"));
}
