// The drafts folder of review-then-send against Dovecot: as it offers MOVE and UIDPLUS, only
// UIDPLUS, and neither.
#include "ImapServerFixture.h"
#include "RawDrafts.h"

#include "common/SendCancelled.h"
#include "mailbridge/imap/ImapDraftsFolder.h"

#include <algorithm>

namespace {

class DraftsFolderFixture : public ImapServerFixture
{
protected:
    void SetUp() override
    {
        ImapServerFixture::SetUp();
        emptyFolder(sentFolder());
        session = std::make_unique<ImapSession>(endpoint(), QString(DovecotServer::password));
        raw = rawDrafts();
        for (const RawDraft &draft : raw)
            appendRaw(*session, draft);
        folder = std::make_unique<ImapDraftsFolder>(endpoint(), QString(DovecotServer::password));
    }

    virtual QString sentFolder() const { return QStringLiteral("Sent"); }

    void emptyFolder(const QString &name)
    {
        try {
            const ImapFolderReader look = reader();
            QStringList uids;
            for (const StoredMessage &message : look.messages(name))
                uids << QString::number(message.uid);
            if (!uids.isEmpty()) {
                look.command(
                    "UID STORE " + uids.join(',').toLatin1() + " +FLAGS.SILENT (\\Deleted)", name);
                look.command("EXPUNGE", name);
            }
        } catch (const std::exception &) {
            // Not made yet.
        }
    }

    QByteArray fetched(const FolderDraft &draft, std::vector<std::size_t> *pieces = nullptr)
    {
        QByteArray bytes;
        folder->fetch(draft, [&](const char *data, std::size_t size) {
            bytes.append(data, qsizetype(size));
            if (pieces)
                pieces->push_back(size);
        });
        return bytes;
    }

    const StoredMessage *stored(const std::vector<StoredMessage> &messages, std::uint64_t uid)
    {
        const auto found = std::find_if(messages.begin(), messages.end(),
                                        [&](const StoredMessage &m) { return m.uid == uid; });
        return found == messages.end() ? nullptr : &*found;
    }

    // What each test checks after remove(): the other drafts as they were, the removed one
    // gone, and in Sent exactly when kept, a sent message and not a draft.
    void expectRemoved(const std::vector<FolderDraft> &listed, std::size_t removed, bool kept,
                       bool stillFlaggedInDrafts)
    {
        const std::vector<StoredMessage> drafts = reader().messages(draftsFolder());
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const StoredMessage *message = stored(drafts, listed[i].uid);
            if (i == removed) {
                if (!stillFlaggedInDrafts) {
                    EXPECT_EQ(message, nullptr) << "still in Drafts";
                    continue;
                }
                ASSERT_NE(message, nullptr);
                EXPECT_TRUE(message->flags.contains("\\Deleted"));
                EXPECT_TRUE(message->flags.contains(DraftsFolder::sentKeyword));
                continue;
            }
            ASSERT_NE(message, nullptr) << "another draft went too";
            EXPECT_EQ(message->bytes, raw[i].bytes);
            EXPECT_TRUE(message->flags.contains("\\Draft"));
            EXPECT_FALSE(message->flags.contains("\\Deleted"));
        }
        const std::vector<StoredMessage> sent = reader().messages(sentFolder());
        if (!kept) {
            EXPECT_TRUE(sent.empty());
            return;
        }
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].bytes, raw[removed].bytes);
        EXPECT_TRUE(sent[0].flags.contains("\\Seen"));
        EXPECT_FALSE(sent[0].flags.contains("\\Draft"));
        EXPECT_FALSE(sent[0].flags.contains("\\Deleted"));
        EXPECT_FALSE(sent[0].flags.contains(DraftsFolder::sendingKeyword));
        EXPECT_TRUE(sent[0].flags.contains(DraftsFolder::sentKeyword));
    }

    std::unique_ptr<ImapSession> session;
    std::vector<RawDraft> raw;
    std::unique_ptr<ImapDraftsFolder> folder;
};

// Dovecot as it comes: MOVE and UIDPLUS, and a Sent folder of a name to be encoded.
class DovecotDraftsFolder : public DraftsFolderFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.sentFolder = QStringLiteral("Envoyés");
        return options;
    }
    // As IMAP names it, for the tests' reader.
    QString sentFolder() const override { return QStringLiteral("Envoy&AOk-s"); }
};

const QString withoutMove =
    QStringLiteral("imap_capability = IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE UNSELECT UIDPLUS "
                   "LIST-EXTENDED SPECIAL-USE NAMESPACE\n");
const QString withNeither = QStringLiteral(
    "imap_capability = IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE UNSELECT LIST-EXTENDED "
    "SPECIAL-USE NAMESPACE\n");

class DovecotDraftsFolderWithoutMove : public DraftsFolderFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.extraConfiguration = withoutMove;
        return options;
    }
};

class DovecotDraftsFolderWithNeither : public DraftsFolderFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.extraConfiguration = withNeither;
        return options;
    }
};

} // namespace

TEST_F(DovecotDraftsFolder, ListsEachDraftAsItsHeadersAndPartsSay)
{
    EXPECT_EQ(folder->destination(),
              QStringLiteral("the Drafts folder of drafter at 127.0.0.1 port %1")
                  .arg(server().imapsPort()));
    const std::vector<FolderDraft> listed = folder->list();
    ASSERT_EQ(listed.size(), raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        SCOPED_TRACE(raw[i].subject.toStdString());
        EXPECT_EQ(listed[i].size, std::uint64_t(raw[i].bytes.size()));
        EXPECT_EQ(listed[i].subject, raw[i].subject);
        EXPECT_EQ(listed[i].messageId, raw[i].messageId);
        EXPECT_EQ(listed[i].recipients, raw[i].recipients);
        EXPECT_EQ(listed[i].attachmentNames, raw[i].attachmentNames);
        EXPECT_TRUE(listed[i].flags.contains("\\Draft"));
        if (i > 0) {
            EXPECT_GT(listed[i].uid, listed[i - 1].uid);
        }
    }

    // One flagged \Deleted by another program is no draft any more.
    reader().command("UID STORE " + QByteArray::number(qulonglong(listed[1].uid)) +
                         " +FLAGS.SILENT (\\Deleted)",
                     draftsFolder());
    const std::vector<FolderDraft> left = folder->list();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].uid, listed[0].uid);
    EXPECT_EQ(left[1].uid, listed[2].uid);
}

TEST_F(DovecotDraftsFolder, FetchesEachDraftByteForByteInBoundedPieces)
{
    const std::vector<FolderDraft> listed = folder->list();
    ASSERT_EQ(listed.size(), raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        std::vector<std::size_t> pieces;
        EXPECT_EQ(fetched(listed[i], &pieces), raw[i].bytes) << raw[i].subject.toStdString();
        for (const std::size_t piece : pieces)
            EXPECT_LE(piece, std::size_t(1) << 20);
        if (i == 1) {
            EXPECT_GE(pieces.size(), 5u); // 4 MiB of base64 in 768 KiB pieces
        }
    }
    // Fetching left it unread, as it was.
    for (const StoredMessage &message : reader().messages(draftsFolder()))
        EXPECT_TRUE(message.flags.contains("\\Draft"));
}

TEST_F(DovecotDraftsFolder, AStopBetweenPiecesIsHeard)
{
    const std::vector<FolderDraft> listed = folder->list();
    bool stop = false;
    folder->setCancelCheck([&] { return stop; });
    std::size_t handed = 0;
    EXPECT_THROW(folder->fetch(listed[1],
                               [&](const char *, std::size_t size) {
                                   handed += size;
                                   stop = true;
                               }),
                 SendCancelled);
    EXPECT_EQ(handed, ImapDraftsFolder::fetchPiece);
    // The check reads this test's own stop; the folder, which outlives it, asks it no more.
    folder->setCancelCheck({});
}

TEST_F(DovecotDraftsFolder, ADraftGoneOrChangedSinceListedIsNamed)
{
    const std::vector<FolderDraft> listed = folder->list();
    reader().command("UID STORE " + QByteArray::number(qulonglong(listed[0].uid)) +
                         " +FLAGS.SILENT (\\Deleted)",
                     draftsFolder());
    reader().command("EXPUNGE", draftsFolder());
    const QString failure = failureOf([&] { fetched(listed[0]); });
    EXPECT_TRUE(failure.contains(QStringLiteral("\"Résumé des fichiers\"")))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains("no longer in the folder")) << failure.toStdString();

    // A draft listed bigger than it is.
    FolderDraft lying = listed[2];
    lying.size += 10;
    const QString shorter = failureOf([&] { fetched(lying); });
    EXPECT_TRUE(shorter.contains("no longer the size")) << shorter.toStdString();
}

TEST_F(DovecotDraftsFolder, AFolderMadeAnewSinceListedIsRefused)
{
    const std::vector<FolderDraft> listed = folder->list();
    const ImapFolderReader look = reader();
    look.command("DELETE " + QByteArray(DovecotServer::draftsFolder));
    look.command("CREATE " + QByteArray(DovecotServer::draftsFolder));
    appendRaw(*session, raw[2]);
    appendRaw(*session, raw[2]);
    for (const auto &call : std::vector<std::function<void()>>{
             [&] { fetched(listed[0]); }, [&] { folder->mark(listed[0], "$Seen1"); },
             [&] { folder->remove(listed[0], true); }}) {
        const QString failure = failureOf(call);
        EXPECT_TRUE(failure.contains("UIDVALIDITY")) << failure.toStdString();
    }
    EXPECT_EQ(folder->list().size(), 2u);
}

TEST_F(DovecotDraftsFolder, MarksAndUnmarksWithKeywords)
{
    const std::vector<FolderDraft> listed = folder->list();
    EXPECT_TRUE(folder->mark(listed[1], DraftsFolder::sendingKeyword));
    const auto flagsOf = [&](std::uint64_t uid) {
        for (const StoredMessage &message : reader().messages(draftsFolder()))
            if (message.uid == uid)
                return message.flags;
        return QStringList();
    };
    EXPECT_TRUE(flagsOf(listed[1].uid).contains(DraftsFolder::sendingKeyword));
    EXPECT_FALSE(flagsOf(listed[0].uid).contains(DraftsFolder::sendingKeyword));
    EXPECT_TRUE(folder->list()[1].flags.contains(DraftsFolder::sendingKeyword));
    folder->unmark(listed[1], DraftsFolder::sendingKeyword);
    EXPECT_FALSE(flagsOf(listed[1].uid).contains(DraftsFolder::sendingKeyword));
    EXPECT_TRUE(flagsOf(listed[1].uid).contains("\\Draft"));

    EXPECT_FALSE(failureOf([&] { folder->mark(listed[1], "bad keyword)"); }).isEmpty());
}

TEST_F(DovecotDraftsFolder, RemovesByMovingIntoSentAsASentMessage)
{
    const std::vector<FolderDraft> listed = folder->list();
    ASSERT_TRUE(folder->mark(listed[1], DraftsFolder::sendingKeyword));
    EXPECT_EQ(folder->remove(listed[1], true), DraftRemoval::Moved);
    expectRemoved(listed, 1, true, false);
    EXPECT_EQ(folder->sentDestination(),
              QStringLiteral("the folder \"Envoyés\" of drafter at 127.0.0.1 port %1")
                  .arg(server().imapsPort()));

    // Without a copy: taken out alone, though another is \Deleted too.
    reader().command("UID STORE " + QByteArray::number(qulonglong(listed[2].uid)) +
                         " +FLAGS.SILENT (\\Deleted)",
                     draftsFolder());
    EXPECT_EQ(folder->remove(listed[0], false), DraftRemoval::CopiedExpunged);
    const std::vector<StoredMessage> left = reader().messages(draftsFolder());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].uid, listed[2].uid);
    EXPECT_EQ(reader().messages(sentFolder()).size(), 1u);
}

TEST_F(DovecotDraftsFolderWithoutMove, RemovesByCopyAndExpungeOfThatDraftAlone)
{
    const std::vector<FolderDraft> listed = folder->list();
    EXPECT_EQ(folder->sentDestination(),
              QStringLiteral("the Sent folder of drafter at 127.0.0.1 port %1")
                  .arg(server().imapsPort()));
    EXPECT_EQ(folder->remove(listed[0], true), DraftRemoval::CopiedExpunged);
    expectRemoved(listed, 0, true, false);
    EXPECT_TRUE(folder->sentDestination().contains("\"Sent\""));

    reader().command("UID STORE " + QByteArray::number(qulonglong(listed[1].uid)) +
                         " +FLAGS.SILENT (\\Deleted)",
                     draftsFolder());
    EXPECT_EQ(folder->remove(listed[2], false), DraftRemoval::CopiedExpunged);
    const std::vector<StoredMessage> left = reader().messages(draftsFolder());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].uid, listed[1].uid);
}

TEST_F(DovecotDraftsFolderWithNeither, LeavesASentDraftFlaggedAndExpungesNothing)
{
    const std::vector<FolderDraft> listed = folder->list();
    // Another program's \Deleted message must outlive our removal.
    reader().command("UID STORE " + QByteArray::number(qulonglong(listed[2].uid)) +
                         " +FLAGS.SILENT (\\Deleted)",
                     draftsFolder());
    EXPECT_EQ(folder->remove(listed[0], true), DraftRemoval::MarkedSent);
    EXPECT_EQ(folder->remove(listed[1], false), DraftRemoval::MarkedSent);
    const std::vector<StoredMessage> drafts = reader().messages(draftsFolder());
    ASSERT_EQ(drafts.size(), 3u);
    for (const StoredMessage &message : drafts)
        EXPECT_TRUE(message.flags.contains("\\Deleted"));
    EXPECT_TRUE(drafts[0].flags.contains(DraftsFolder::sentKeyword));
    EXPECT_TRUE(drafts[1].flags.contains(DraftsFolder::sentKeyword));
    EXPECT_FALSE(drafts[2].flags.contains(DraftsFolder::sentKeyword));
    const std::vector<StoredMessage> sent = reader().messages(sentFolder());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, raw[0].bytes);
    EXPECT_TRUE(sent[0].flags.contains("\\Seen"));
    EXPECT_FALSE(sent[0].flags.contains("\\Draft"));
    EXPECT_TRUE(folder->list().empty());
}
