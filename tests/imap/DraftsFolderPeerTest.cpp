// The drafts folder against a scripted server whose FETCH answers no draft could give: each
// ends in a Failure, and what is read on the way stays bounded.
#include "mailbridge/imap/ImapDraftsFolder.h"
#include "support/PeakMemory.h"
#include "support/ScriptedImapPeer.h"
#include "support/TestTools.h"

namespace {

ImapEndpoint endpointOf(const ScriptedImapPeer &peer)
{
    ImapEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = peer.port();
    endpoint.security = ImapSecurity::None;
    endpoint.user = QStringLiteral("me");
    return endpoint;
}

const QByteArray listing = "* 1 FETCH (UID 1 RFC822.SIZE 100 FLAGS (\\Draft) ENVELOPE (NIL "
                           "\"Hi\" NIL NIL NIL NIL NIL NIL NIL NIL) BODYSTRUCTURE ";

// What list() makes of a server that finds one draft and describes it so.
QString listingFailure(const QByteArray &fetchAnswer, QByteArray search = "* SEARCH 1\r\n")
{
    ImapPeerScript script;
    script.scriptedAnswers["UID SEARCH"] = search;
    script.scriptedAnswers["UID FETCH"] = fetchAnswer;
    ScriptedImapPeer peer(script);
    ImapDraftsFolder folder(endpointOf(peer), QStringLiteral("secret"));
    return failureOf([&] { folder.list(); });
}

// What fetch() makes of a draft of 100 bytes the server sends so; handed: what reached the
// sink.
QString fetchFailure(const QByteArray &fetchAnswer, QByteArray &handed)
{
    ImapPeerScript script;
    script.scriptedAnswers["UID FETCH"] = fetchAnswer;
    ScriptedImapPeer peer(script);
    ImapDraftsFolder folder(endpointOf(peer), QStringLiteral("secret"));
    FolderDraft draft;
    draft.uid = 1;
    draft.size = 100;
    draft.subject = QStringLiteral("Hi");
    return failureOf([&] {
        folder.fetch(draft, [&](const char *data, std::size_t size) {
            handed.append(data, qsizetype(size));
        });
    });
}

void expectBoundedMemory()
{
    if (peakMemoryTellsWhatIsKept) {
        EXPECT_LT(peakResidentBytes(), 256LL << 20);
    }
}

} // namespace

TEST(DraftsFolderPeer, AWellFormedListingIsRead)
{
    // The peer itself, lest the failures below come from the script rather than the answers.
    ImapPeerScript script;
    script.scriptedAnswers["UID SEARCH"] = "* SEARCH 1 2\r\n";
    script.scriptedAnswers["UID FETCH"] =
        listing + "(\"TEXT\" \"PLAIN\" NIL NIL NIL \"7BIT\" 1 1))\r\n"
                  // Unasked flag changes, of one without a UID and of one expunged since.
                  "* 2 FETCH (FLAGS (\\Seen))\r\n"
                  "* 2 FETCH (UID 2 FLAGS (\\Seen))\r\n";
    ScriptedImapPeer peer(script);
    ImapDraftsFolder folder(endpointOf(peer), QStringLiteral("secret"));
    const std::vector<FolderDraft> drafts = folder.list();
    ASSERT_EQ(drafts.size(), 1u);
    EXPECT_EQ(drafts[0].subject, QStringLiteral("Hi"));
    EXPECT_TRUE(peer.commands().contains("UID FETCH 1:2 (UID RFC822.SIZE FLAGS ENVELOPE "
                                         "BODYSTRUCTURE)"));
}

TEST(DraftsFolderPeer, AHostileListingIsAFailure)
{
    // Nested past any structure a draft has.
    QString failure = listingFailure(listing + QByteArray(100000, '(') + "\r\n");
    EXPECT_TRUE(failure.contains("nested")) << failure.toStdString();
    expectBoundedMemory();

    // A list that never ends.
    QByteArray endless = "* 1 FETCH (UID 1 FLAGS (";
    while (endless.size() < (16 << 20))
        endless += "\\Seen \\Draft \\Answered \\Flagged $Label1 $Label2 $Label3 ";
    failure = listingFailure(endless);
    EXPECT_TRUE(failure.contains("line longer")) << failure.toStdString();
    expectBoundedMemory();

    // A description without what a draft needs.
    failure = listingFailure("* 1 FETCH (UID 1 FLAGS (\\Draft) ENVELOPE (NIL NIL NIL NIL NIL NIL "
                             "NIL NIL NIL NIL) BODYSTRUCTURE (\"TEXT\" \"PLAIN\"))\r\n");
    EXPECT_TRUE(failure.contains("without RFC822.SIZE")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("Nothing was changed")) << failure.toStdString();

    // More drafts than are read.
    QByteArray many = "* SEARCH";
    for (int uid = 1; uid <= ImapDraftsFolder::maxDrafts + 1; ++uid)
        many += ' ' + QByteArray::number(uid);
    failure = listingFailure("", many + "\r\n");
    EXPECT_TRUE(failure.contains("10001 messages")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("at most 10000")) << failure.toStdString();
}

TEST(DraftsFolderPeer, NeverHandsOnMoreThanListed)
{
    // More than the 100 bytes listed: nothing is handed on.
    QByteArray handed;
    QString failure = fetchFailure("* 1 FETCH (UID 1 RFC822.SIZE 100 BODY[]<0> {5000}\r\n" +
                                       QByteArray(5000, 'x') + ")\r\n",
                                   handed);
    EXPECT_TRUE(failure.contains("more of it than the 100 bytes")) << failure.toStdString();
    EXPECT_TRUE(handed.isEmpty());

    // A literal past the reader's bound.
    handed.clear();
    failure = fetchFailure(
        "* 1 FETCH (UID 1 BODY[]<0> {3000000}\r\n" + QByteArray(3000000, 'x') + ")\r\n", handed);
    EXPECT_TRUE(failure.contains("literal")) << failure.toStdString();
    EXPECT_TRUE(handed.isEmpty());
    expectBoundedMemory();

    // Fewer, and the bytes of another place than asked.
    handed.clear();
    failure =
        fetchFailure("* 1 FETCH (UID 1 BODY[]<0> {40}\r\n" + QByteArray(40, 'x') + ")\r\n", handed);
    EXPECT_TRUE(failure.contains("sent 40 of its 100 bytes")) << failure.toStdString();
    EXPECT_TRUE(handed.isEmpty());
    failure = fetchFailure("* 1 FETCH (UID 1 BODY[]<7> {100}\r\n" + QByteArray(100, 'x') + ")\r\n",
                           handed);
    EXPECT_TRUE(failure.contains("another place")) << failure.toStdString();

    // Nothing for the UID: gone, named by its subject.
    failure = fetchFailure("* 1 FETCH (UID 2 BODY[]<0> {100}\r\n" + QByteArray(100, 'x') + ")\r\n",
                           handed);
    EXPECT_TRUE(failure.contains("the draft \"Hi\"")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("no longer in the folder")) << failure.toStdString();
    EXPECT_TRUE(handed.isEmpty());

    // Exactly the bytes listed are taken.
    ImapPeerScript script;
    script.scriptedAnswers["UID FETCH"] =
        "* 1 FETCH (UID 1 RFC822.SIZE 100 BODY[]<0> {100}\r\n" + QByteArray(100, 'y') + ")\r\n";
    ScriptedImapPeer peer(script);
    ImapDraftsFolder folder(endpointOf(peer), QStringLiteral("secret"));
    FolderDraft draft;
    draft.uid = 1;
    draft.size = 100;
    folder.fetch(draft,
                 [&](const char *data, std::size_t size) { handed.append(data, qsizetype(size)); });
    EXPECT_EQ(handed, QByteArray(100, 'y'));
    EXPECT_TRUE(peer.commands().contains("UID FETCH 1 (RFC822.SIZE BODY.PEEK[]<0.101>)"));
}

TEST(DraftsFolderPeer, ADraftLeftBehindByARefusedMoveIsFlaggedSent)
{
    ImapPeerScript script;
    script.capabilities << "MOVE"
                        << "UIDPLUS";
    script.folders.push_back({"Sent", "\\Sent"});
    script.scriptedAnswers["UID STORE"] = "* 1 FETCH (UID 1 FLAGS (\\Seen))\r\n";
    ScriptedImapPeer peer(script); // refuses UID MOVE as an unknown command
    ImapDraftsFolder folder(endpointOf(peer), QStringLiteral("secret"));
    FolderDraft draft;
    draft.uid = 1;
    draft.subject = QStringLiteral("Hi");
    const QString failure = failureOf([&] { folder.remove(draft, true); });
    EXPECT_TRUE(failure.contains("take the draft \"Hi\" out of")) << failure.toStdString();
    QList<QByteArray> stores;
    for (const QByteArray &command : peer.commands())
        if (command.startsWith("UID STORE") || command.startsWith("UID MOVE"))
            stores << command;
    // Never without both keywords between its sending and its removal.
    EXPECT_EQ(stores, QList<QByteArray>({"UID STORE 1 +FLAGS.SILENT ($FerrymailSent \\Seen)",
                                         "UID STORE 1 -FLAGS.SILENT (\\Draft $FerrymailSending)",
                                         "UID MOVE 1 Sent"}));
}
