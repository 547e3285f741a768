// The IMAP outbox against a scripted server that misbehaves on demand: what it files, what
// it reports, and what it puts on the wire.
#include "mailbridge/Draft.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "support/ScriptedImapPeer.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A monitor the test's own thread may stop while the Send waits on the server.
class StoppableMonitor : public TransferMonitor
{
public:
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override { return m_cancel; }
    void cancel() { m_cancel = true; }

private:
    std::atomic<bool> m_cancel{false};
};

struct Outcome
{
    QString failure; // empty when the Send went through
    bool cancelled = false;
    bool perhapsFiled = false;
    // From the cancel to the end of the Send, when the row cancels.
    std::optional<double> secondsAfterCancel;
};

struct Row
{
    using Script = std::function<void(ImapPeerScript &)>;
    using Check = std::function<void(const Outcome &, const ScriptedImapPeer &)>;
    using Account = std::function<void(ImapEndpoint &, QString &password)>;

    Row(const char *name, Script script, Check check, qsizetype attachmentSize = 1000,
        bool cancelWhenSilent = false, Account account = {})
        : name(name), script(std::move(script)), check(std::move(check)),
          attachmentSize(attachmentSize), cancelWhenSilent(cancelWhenSilent),
          account(std::move(account))
    {
    }

    const char *name;
    Script script;
    Check check;
    qsizetype attachmentSize;
    // Cancels the Send once the peer has gone silent, as its script says.
    bool cancelWhenSilent;
    // Changes the account after the peer is up: user, password and folder.
    Account account;
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.name;
}

void withoutLiteralPlus(ImapPeerScript &script)
{
    script.capabilities = {"SPECIAL-USE", "NAMESPACE"};
}

void inboxNamespace(ImapPeerScript &script)
{
    withoutLiteralPlus(script);
    script.separator = '.';
    script.namespaces = R"((("INBOX." ".")) NIL NIL)";
    script.createPrefix = "INBOX.";
    script.capabilities = {"LITERAL+", "NAMESPACE"};
}

bool sawCommand(const ScriptedImapPeer &peer, const QByteArray &start)
{
    for (const QByteArray &command : peer.commands())
        if (command.toUpper().startsWith(start.toUpper()))
            return true;
    return false;
}

void filedOnce(const Outcome &outcome, const ScriptedImapPeer &peer,
               const QByteArray &folder = "Drafts")
{
    EXPECT_TRUE(outcome.failure.isEmpty()) << outcome.failure;
    EXPECT_EQ(peer.messagesIn(folder).size(), 1) << peer.commands().join('\n').toStdString();
}

void cancelledInTime(const Outcome &outcome, const ScriptedImapPeer &peer)
{
    EXPECT_TRUE(outcome.cancelled) << outcome.failure;
    EXPECT_FALSE(outcome.perhapsFiled) << outcome.failure;
    ASSERT_TRUE(outcome.secondsAfterCancel.has_value());
    // Within a second as promised, with room for sanitizers on a busy machine: a Send the
    // cancel did not reach would wait for the server's timeout.
    EXPECT_LT(*outcome.secondsAfterCancel, 3.0);
    EXPECT_TRUE(peer.messagesIn("Drafts").isEmpty());
}

void refusedEarly(const Outcome &outcome, const ScriptedImapPeer &peer)
{
    EXPECT_TRUE(outcome.failure.contains("Mailbox is full")) << outcome.failure;
    ASSERT_EQ(peer.appends().size(), 1u);
    EXPECT_TRUE(peer.appends()[0].synchronizing);
    EXPECT_TRUE(peer.messagesIn("Drafts").isEmpty());
}

// The draft may be stored, and nobody can tell: the report must not call it unsent.
void mayBeInDrafts(const Outcome &outcome, const ScriptedImapPeer &)
{
    EXPECT_TRUE(outcome.perhapsFiled) << outcome.failure;
    EXPECT_TRUE(outcome.failure.contains("may already be in Drafts; look before sending again"))
        << outcome.failure;
    EXPECT_FALSE(outcome.failure.contains("not sent", Qt::CaseInsensitive)) << outcome.failure;
    EXPECT_FALSE(outcome.failure.contains("keeps nothing", Qt::CaseInsensitive)) << outcome.failure;
}

// The whole draft went and then the Send was stopped: neither filed nor not.
void stoppedMayBeInDrafts(const Outcome &outcome, const ScriptedImapPeer &peer)
{
    mayBeInDrafts(outcome, peer);
    EXPECT_TRUE(outcome.cancelled);
    ASSERT_TRUE(outcome.secondsAfterCancel.has_value());
    EXPECT_LT(*outcome.secondsAfterCancel, 1.5);
}

// The server was asked and holds no copy: not filed, and said so.
void knownNotFiled(const Outcome &outcome, const ScriptedImapPeer &peer)
{
    EXPECT_FALSE(outcome.perhapsFiled) << outcome.failure;
    EXPECT_TRUE(outcome.failure.contains("it was not filed")) << outcome.failure;
    EXPECT_FALSE(outcome.failure.contains("may already")) << outcome.failure;
    EXPECT_EQ(peer.appends().size(), 2u);
    EXPECT_TRUE(peer.messagesIn("Drafts").isEmpty());
}

// Past a bound of what the client reads: a clear failure naming the server, nothing filed.
Row pastABound(const char *name, QByteArray floodLine, std::uint64_t lines, const char *said)
{
    return {name,
            [floodLine, lines](ImapPeerScript &s) {
                s.floodTo = "LIST";
                s.floodLine = floodLine;
                s.floodLines = lines;
            },
            [said](const Outcome &outcome, const ScriptedImapPeer &peer) {
                EXPECT_TRUE(outcome.failure.contains(said)) << outcome.failure;
                EXPECT_TRUE(outcome.failure.contains("127.0.0.1 port")) << outcome.failure;
                EXPECT_TRUE(outcome.failure.contains("does not behave as an IMAP server"))
                    << outcome.failure;
                EXPECT_TRUE(peer.appends().empty());
            }};
}

// A control character in one field of the account: refused before anything is sent.
Row refusedField(const char *name, const char *field, QByteArray bytes,
                 std::function<void(ImapEndpoint &, QString &)> account)
{
    return {name,
            [](ImapPeerScript &) {},
            [field, bytes](const Outcome &outcome, const ScriptedImapPeer &peer) {
                EXPECT_TRUE(outcome.failure.contains(field, Qt::CaseInsensitive))
                    << outcome.failure;
                for (const QByteArray &received : peer.received())
                    EXPECT_FALSE(received.contains(bytes)) << received.toStdString();
                EXPECT_TRUE(peer.appends().empty());
            },
            1000,
            false,
            std::move(account)};
}

const Row rows[] = {
    {"UntaggedDataBeforeTheGoAhead",
     [](ImapPeerScript &s) {
         withoutLiteralPlus(s);
         s.untaggedBeforeContinuation = {"* 7 EXISTS", "* 2 RECENT"};
     },
     [](const Outcome &o, const ScriptedImapPeer &p) { filedOnce(o, p); }},

    {"ReplyLostButStoredIsFoundNotSentTwice",
     [](ImapPeerScript &s) { s.afterLiteral = ImapPeerScript::AfterLiteral::CloseStored; },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         EXPECT_EQ(p.appends().size(), 1u);
         EXPECT_GE(p.connections(), 2);
         EXPECT_TRUE(sawCommand(p, "UID SEARCH")) << p.commands().join('\n').toStdString();
     }},

    {"ReplyLostAndNotStoredIsSentOnceMore",
     [](ImapPeerScript &s) { s.afterLiteral = ImapPeerScript::AfterLiteral::CloseNotStored; },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         EXPECT_EQ(p.appends().size(), 2u);
     }},

    {"ReplyLostEveryTimeIsNotSentAThirdTimeAndIsNotFiled",
     [](ImapPeerScript &s) {
         s.afterLiteral = ImapPeerScript::AfterLiteral::CloseNotStored;
         s.appendFailures = 100;
     },
     knownNotFiled},

    {"FloodAfterTheLiteralIsAskedAboutAndNotFiled",
     [](ImapPeerScript &s) { s.afterLiteral = ImapPeerScript::AfterLiteral::Flood; },
     knownNotFiled},

    {"CancelWhileTheAnswerIsAwaitedMayBeInDrafts",
     [](ImapPeerScript &s) { s.afterLiteral = ImapPeerScript::AfterLiteral::Silent; },
     stoppedMayBeInDrafts, 1000, true},

    {"CancelWhileAskingAfterALostAnswerMayBeInDrafts",
     [](ImapPeerScript &s) {
         s.afterLiteral = ImapPeerScript::AfterLiteral::CloseNotStored;
         s.silence = ImapPeerScript::Silence::Search;
     },
     stoppedMayBeInDrafts, 1000, true},

    pastABound("TooManyUntaggedResponsesEndTheCommand", "* 1 EXISTS", 150000,
               "more than 100000 responses to one command"),
    pastABound("TooManyBytesEndTheCommand", "* 1 EXISTS " + QByteArray(1000, 'x'), 70000,
               "more than 67108864 bytes in answer to one command"),
    pastABound("SixtyThousandParenthesesEndTheCommand", "* LIST " + QByteArray(60000, '('), 1,
               "lists nested deeper than 16"),

    {"AFloodWithinTheBoundsGetsThrough",
     [](ImapPeerScript &s) {
         s.floodTo = "LIST";
         s.floodLines = 90000;
     },
     [](const Outcome &o, const ScriptedImapPeer &p) { filedOnce(o, p); }},

    {"DraftsIsCreatedMarkedWhereTheServerAllows",
     [](ImapPeerScript &s) {
         s.capabilities << "CREATE-SPECIAL-USE";
         s.folders = {{"INBOX", ""}};
     },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         EXPECT_TRUE(sawCommand(p, "CREATE Drafts (USE (\\Drafts))"))
             << p.commands().join('\n').toStdString();
         EXPECT_EQ(p.attributesOf("Drafts"), "\\Drafts");
     }},

    {"AMarkRefusedFallsBackToAPlainCreate",
     [](ImapPeerScript &s) {
         s.capabilities << "CREATE-SPECIAL-USE";
         s.refuseSpecialUse = true;
         s.folders = {{"INBOX", ""}};
     },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         EXPECT_TRUE(sawCommand(p, "CREATE Drafts (USE")) << p.commands().join('\n').toStdString();
         EXPECT_EQ(p.attributesOf("Drafts"), "");
     }},

    {"WithoutTheCapabilityThePlainCreateIsUsed",
     [](ImapPeerScript &s) {
         s.folders = {{"INBOX", ""}};
     },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         EXPECT_FALSE(sawCommand(p, "CREATE Drafts (USE")) << p.commands().join('\n').toStdString();
         EXPECT_TRUE(sawCommand(p, "CREATE Drafts"));
     }},

    {"ReplyLostStoredAndNoReconnectMayBeInDrafts",
     [](ImapPeerScript &s) {
         s.afterLiteral = ImapPeerScript::AfterLiteral::CloseStored;
         s.refuseAfterClose = true;
     },
     mayBeInDrafts},

    {"ReplyLostNotStoredAndNoReconnectMayBeInDrafts",
     [](ImapPeerScript &s) {
         s.afterLiteral = ImapPeerScript::AfterLiteral::CloseNotStored;
         s.refuseAfterClose = true;
     },
     mayBeInDrafts},

    {"SilentGreetingIsCancelled",
     [](ImapPeerScript &s) { s.silence = ImapPeerScript::Silence::Greeting; }, cancelledInTime,
     1000, true},

    {"SilentLoginIsCancelled",
     [](ImapPeerScript &s) { s.silence = ImapPeerScript::Silence::Login; }, cancelledInTime, 1000,
     true},

    {"SilentAppendIsCancelled",
     [](ImapPeerScript &s) {
         withoutLiteralPlus(s);
         s.silence = ImapPeerScript::Silence::AppendLine;
     },
     cancelledInTime, 1000, true},

    {"EarlyNoThenCloseIsQuoted",
     [](ImapPeerScript &s) {
         withoutLiteralPlus(s);
         s.earlyAppendAnswer = "NO [OVERQUOTA] Mailbox is full";
     },
     refusedEarly},

    {"LargeMessageWaitsForTheGoAheadDespiteLiteralPlus",
     [](ImapPeerScript &s) { s.earlyAppendAnswer = "NO [OVERQUOTA] Mailbox is full"; },
     refusedEarly, 150 * 1024},

    {"LargeMessageIsFiledAfterTheGoAhead", [](ImapPeerScript &) {},
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         ASSERT_EQ(p.appends().size(), 1u);
         EXPECT_TRUE(p.appends()[0].synchronizing);
     },
     150 * 1024},

    {"SmallMessageGoesWithoutWaitingUnderLiteralPlus", [](ImapPeerScript &) {},
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p);
         ASSERT_EQ(p.appends().size(), 1u);
         EXPECT_FALSE(p.appends()[0].synchronizing);
         EXPECT_LT(p.appends()[0].size, 4096u);
     },
     500},

    {"FailingLsubDoesNotStopTheSend", [](ImapPeerScript &s) { s.lsubFails = true; },
     [](const Outcome &o, const ScriptedImapPeer &p) { filedOnce(o, p); }},

    {"FailingSubscribeDoesNotStopTheSend", [](ImapPeerScript &s) { s.subscribeFails = true; },
     [](const Outcome &o, const ScriptedImapPeer &p) { filedOnce(o, p); }},

    {"UnmarkedDraftsUnderTheInboxPrefixIsUsed",
     [](ImapPeerScript &s) {
         inboxNamespace(s);
         s.folders = {{"INBOX", ""}, {"INBOX.Sent", ""}, {"INBOX.drafts", ""}};
     },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p, "INBOX.drafts");
         EXPECT_FALSE(sawCommand(p, "CREATE")) << p.commands().join('\n').toStdString();
     }},

    {"DraftsIsCreatedUnderTheInboxPrefix",
     [](ImapPeerScript &s) {
         inboxNamespace(s);
         s.folders = {{"INBOX", ""}, {"INBOX.Sent", ""}};
     },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         filedOnce(o, p, "INBOX.Drafts");
         EXPECT_TRUE(sawCommand(p, "CREATE INBOX.Drafts")) << p.commands().join('\n').toStdString();
         EXPECT_FALSE(p.folderNames().contains("Drafts"));
     }},

    {"ResponseCodeInMidTextIsNotOne",
     [](ImapPeerScript &s) { s.appendAnswer = "NO the quota [OVERQUOTA] talk"; },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         EXPECT_TRUE(o.failure.contains("the quota [OVERQUOTA] talk")) << o.failure;
         EXPECT_FALSE(o.failure.contains("is full", Qt::CaseInsensitive)) << o.failure;
         EXPECT_TRUE(p.messagesIn("Drafts").isEmpty());
     }},

    {"EndlessLineFailsTheSend", [](ImapPeerScript &s) { s.endlessAnswerTo = "LIST"; },
     [](const Outcome &o, const ScriptedImapPeer &p) {
         EXPECT_FALSE(o.failure.isEmpty());
         EXPECT_TRUE(p.messagesIn("Drafts").isEmpty());
     }},

    refusedField("LineFeedInUserIsRefused", "user", "me\nA1 DELETE",
                 [](ImapEndpoint &e, QString &) { e.user = "me\nA1 DELETE INBOX"; }),
    refusedField("CarriageReturnInUserIsRefused", "user", "me\rA1",
                 [](ImapEndpoint &e, QString &) { e.user = "me\rA1 DELETE INBOX"; }),
    refusedField("LineFeedInPasswordIsRefused", "password", "se\ncret",
                 [](ImapEndpoint &, QString &password) { password = "se\ncret"; }),
    refusedField(
        "NulInPasswordIsRefused", "password", QByteArray("se\0cret", 7),
        [](ImapEndpoint &, QString &password) { password = QString("se") + QChar(0) + "cret"; }),
    refusedField("LineFeedInFolderIsRefused", "folder", "Drafts\nA1",
                 [](ImapEndpoint &e, QString &) { e.folder = "Drafts\nA1 DELETE INBOX"; }),
    refusedField("NulInFolderIsRefused", "folder", QByteArray("Dr\0afts", 7),
                 [](ImapEndpoint &e, QString &) { e.folder = QString("Dr") + QChar(0) + "afts"; }),
};

class ImapPeerTest : public testing::TestWithParam<Row>
{
protected:
    Outcome sendOne(ScriptedImapPeer &peer, const Row &row)
    {
        ImapEndpoint endpoint;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = peer.port();
        endpoint.security = ImapSecurity::None;
        endpoint.user = QStringLiteral("me");
        QString password = QStringLiteral("secret");
        if (row.account)
            row.account(endpoint, password);
        const QString attachment =
            writeFile(dir.filePath("a.bin"), randomBytes(row.attachmentSize, 7));

        StoppableMonitor monitor;
        std::atomic<Clock::rep> cancelledAt{0};
        std::thread canceller;
        if (row.cancelWhenSilent)
            canceller = std::thread([&] {
                // Polled: the peer has no signal to wait on. Given up after a while, so that a
                // Send that never reaches the silence still ends, and fails its check.
                const auto givenUp = Clock::now() + std::chrono::seconds(30);
                while (peer.silentConnections() == 0 && Clock::now() < givenUp)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                cancelledAt = Clock::now().time_since_epoch().count();
                monitor.cancel();
            });
        Outcome outcome;
        try {
            ImapOutbox outbox(endpoint, password);
            Draft draft;
            draft.subject = QStringLiteral("a.bin");
            draft.to = QStringLiteral("me@example.org");
            draft.from = QStringLiteral("Me <me@example.org>");
            draft.attachmentPaths << attachment;
            outbox.file(draft, monitor);
        } catch (const SendCancelled &) {
            outcome.cancelled = true;
        } catch (const PerhapsFiled &perhaps) {
            outcome.failure = perhaps.description();
            outcome.perhapsFiled = true;
            outcome.cancelled = perhaps.cancelled();
        } catch (const Failure &failure) {
            outcome.failure = failure.description();
        }
        const auto ended = Clock::now();
        if (canceller.joinable()) {
            canceller.join();
            const Clock::time_point at{Clock::duration(cancelledAt.load())};
            outcome.secondsAfterCancel = std::chrono::duration<double>(ended - at).count();
        }
        return outcome;
    }

    QTemporaryDir dir;
};

TEST_P(ImapPeerTest, Row)
{
    const Row &row = GetParam();
    ImapPeerScript script;
    row.script(script);
    ScriptedImapPeer peer(script);
    const Outcome outcome = sendOne(peer, row);
    row.check(outcome, peer);
    EXPECT_TRUE(peer.bareLineFeed().isEmpty()) << peer.bareLineFeed().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, ImapPeerTest, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row> &info) {
                             return std::string(info.param.name);
                         });

TEST(ImapPeerLimitTest, StatusWithALiteralNameIsRead)
{
    ImapPeerScript script;
    script.capabilities = {"APPENDLIMIT", "SPECIAL-USE"};
    script.statusNameAsLiteral = true;
    script.statusAppendLimit = 100;
    ScriptedImapPeer peer(script);
    ImapEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = peer.port();
    endpoint.security = ImapSecurity::None;
    endpoint.user = QStringLiteral("me");
    ImapOutbox outbox(endpoint, QStringLiteral("secret"));
    std::optional<std::uint64_t> limit;
    const QString failure = failureOf([&] { limit = outbox.appendLimit(); });
    EXPECT_TRUE(failure.isEmpty()) << failure;
    EXPECT_EQ(limit, std::optional<std::uint64_t>(100));

    // The Send's one size check uses it: a message over it is refused, and nothing goes.
    QTemporaryDir dir;
    const QString file = writeFile(dir.filePath("a.bin"), randomBytes(500, 1));
    const QString refused = failureOf([&] {
        outbox.checkSizes({Draft{"a@example.org", "b@example.org", "S", {file}}});
    });
    EXPECT_TRUE(refused.contains("more than the 100 bytes")) << refused;
    EXPECT_TRUE(peer.appends().empty());
}

} // namespace
