// A session against a scripted server that floods, trickles, stalls or never ends its
// sign-in, with the bounds lowered where the real ones would take minutes.
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapSession.h"
#include "support/PeakMemory.h"
#include "support/ScriptedImapPeer.h"
#include "support/TestTools.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

ImapEndpoint endpointOf(const ScriptedImapPeer &peer)
{
    ImapEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = peer.port();
    endpoint.security = ImapSecurity::None;
    endpoint.user = QStringLiteral("me");
    return endpoint;
}

ImapLimits unbounded()
{
    ImapLimits limits;
    limits.untaggedPerCommand = INT_MAX;
    limits.bytesPerCommand = SIZE_MAX;
    return limits;
}

void appendSmallDraft(ImapSession &session)
{
    const QByteArray message = "Subject: x\r\nMessage-ID: <1@x>\r\n\r\nhello\r\n";
    session.append(std::uint64_t(message.size()), "<1@x>", "the message \"x\"",
                   [&](const ImapSession::MessageSink &sink) {
                       sink(message.constData(), std::size_t(message.size()));
                   });
}

// Waits, without a fixed sleep, until the peer saw what the test waits for.
template <typename Condition> bool eventually(Condition condition)
{
    const auto giveUp = Clock::now() + 20s;
    while (!condition()) {
        if (Clock::now() > giveUp)
            return false;
        std::this_thread::yield();
    }
    return true;
}

bool sawCommand(const ScriptedImapPeer &peer, const QByteArray &start)
{
    for (const QByteArray &command : peer.commands())
        if (command.startsWith(start))
            return true;
    return false;
}

class Tokens : public AccessTokenSource
{
public:
    QString accessToken(bool refresh) override
    {
        refreshes += refresh ? 1 : 0;
        return QStringLiteral("token%1").arg(++asked);
    }
    int asked = 0;
    int refreshes = 0;
};

TEST(ImapHostilePeer, AFloodWithinNoBoundIsCountedNotKept)
{
    ImapPeerScript script;
    script.floodTo = "LIST";
    script.floodLines = 1000000;
    ScriptedImapPeer peer(script);
    ImapSession session(endpointOf(peer), ImapCredentials{QStringLiteral("secret"), nullptr},
                        unbounded());
    const QString failure = failureOf([&] { EXPECT_EQ(session.folder(), "Drafts"); });
    EXPECT_TRUE(failure.isEmpty()) << failure;
    if (peakMemoryTellsWhatIsKept) {
        EXPECT_LT(peakResidentBytes(), 256LL << 20);
    }
}

TEST(ImapHostilePeer, ATrickleEndsAtTheCommandsDeadline)
{
    ImapPeerScript script;
    script.floodTo = "LIST";
    script.floodLines = 100000;
    script.floodPause = 20ms;
    ScriptedImapPeer peer(script);
    ImapLimits limits;
    limits.deadline = 1s;
    ImapSession session(endpointOf(peer), ImapCredentials{QStringLiteral("secret"), nullptr},
                        limits);
    const QString failure = failureOf([&] { session.folder(); });
    EXPECT_TRUE(failure.contains("127.0.0.1 port")) << failure;
    EXPECT_TRUE(failure.contains("did not finish its answer within 1 seconds")) << failure;
}

TEST(ImapHostilePeer, SilenceEndsAtTheSilenceLimit)
{
    ImapPeerScript script;
    script.silence = ImapPeerScript::Silence::Login;
    ScriptedImapPeer peer(script);
    ImapLimits limits;
    limits.silence = 300ms;
    ImapSession session(endpointOf(peer), ImapCredentials{QStringLiteral("secret"), nullptr},
                        limits);
    const QString failure = failureOf([&] { session.folder(); });
    EXPECT_TRUE(failure.contains("stopped answering")) << failure;
}

TEST(ImapHostilePeer, SilenceWhileAskingAfterALostAnswerMayBeInDrafts)
{
    ImapPeerScript script;
    script.afterLiteral = ImapPeerScript::AfterLiteral::CloseStored;
    script.silence = ImapPeerScript::Silence::Search;
    ScriptedImapPeer peer(script);
    ImapLimits limits;
    limits.silence = 300ms;
    ImapSession session(endpointOf(peer), ImapCredentials{QStringLiteral("secret"), nullptr},
                        limits);
    try {
        appendSmallDraft(session);
        ADD_FAILURE() << "filed";
    } catch (const PerhapsFiled &perhaps) {
        EXPECT_FALSE(perhaps.cancelled());
        EXPECT_TRUE(perhaps.description().contains("may already be in Drafts"))
            << perhaps.description();
        EXPECT_FALSE(perhaps.description().contains("keeps nothing")) << perhaps.description();
    }
    EXPECT_EQ(peer.appends().size(), 1u);
}

// A flood never leaves a wait in which to ask for the cancel: it is asked between reads.
TEST(ImapHostilePeer, ACancelIsHeardInAFlood)
{
    for (const bool afterLiteral : {false, true}) {
        SCOPED_TRACE(afterLiteral ? "after the APPEND literal" : "in answer to LIST");
        ImapPeerScript script;
        if (afterLiteral)
            script.afterLiteral = ImapPeerScript::AfterLiteral::Flood;
        else
            script.floodTo = "LIST";
        script.floodLines = ~std::uint64_t(0);
        ScriptedImapPeer peer(script);
        ImapSession session(endpointOf(peer), ImapCredentials{QStringLiteral("secret"), nullptr},
                            unbounded());
        std::atomic<bool> cancel{false};
        session.setCancelCheck([&cancel] { return cancel.load(); });
        std::atomic<Clock::rep> cancelledAt{0};
        std::thread canceller([&] {
            EXPECT_TRUE(eventually([&] {
                return afterLiteral ? peer.received().size() == 1 &&
                                          peer.received()[0].contains("hello\r\n\r\n")
                                    : sawCommand(peer, "LIST");
            }));
            cancelledAt = Clock::now().time_since_epoch().count();
            cancel = true;
        });
        bool heard = false;
        try {
            if (afterLiteral)
                appendSmallDraft(session);
            else
                session.folder();
        } catch (const SendCancelled &) {
            heard = !afterLiteral;
        } catch (const PerhapsFiled &perhaps) {
            heard = afterLiteral && perhaps.cancelled();
        } catch (const Failure &failure) {
            ADD_FAILURE() << failure.description();
        }
        const auto ended = Clock::now();
        canceller.join();
        EXPECT_TRUE(heard);
        const Clock::time_point at{Clock::duration(cancelledAt.load())};
        EXPECT_LT(std::chrono::duration<double>(ended - at).count(), 1.5);
        if (peakMemoryTellsWhatIsKept) {
            EXPECT_LT(peakResidentBytes(), 256LL << 20);
        }
    }
}

TEST(ImapHostilePeer, AnEndlessSignInIsGivenUpOn)
{
    ImapPeerScript script;
    script.capabilities << "AUTH=XOAUTH2";
    script.endlessContinuations = true;
    ScriptedImapPeer peer(script);
    ImapSession session(endpointOf(peer), ImapCredentials{QString(), std::make_shared<Tokens>()});
    const QString failure = failureOf([&] { session.folder(); });
    EXPECT_TRUE(failure.contains("more than 4 rounds of sign-in")) << failure;
}

TEST(ImapHostilePeer, ARefusedTokenAndAClosedConnectionAreRetriedOnANewOne)
{
    ImapPeerScript script;
    script.capabilities << "AUTH=XOAUTH2";
    script.tokenRefusals = 1;
    script.closeAfterTokenRefusal = true;
    ScriptedImapPeer peer(script);
    auto tokens = std::make_shared<Tokens>();
    {
        ImapSession session(endpointOf(peer), ImapCredentials{QString(), tokens});
        const QString failure = failureOf([&] { appendSmallDraft(session); });
        EXPECT_TRUE(failure.isEmpty()) << failure;
    }
    EXPECT_EQ(peer.messagesIn("Drafts").size(), 1);
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(tokens->refreshes, 1);
}

TEST(ImapHostilePeer, ATokenRefusedTwiceIsSaidSo)
{
    ImapPeerScript script;
    script.capabilities << "AUTH=XOAUTH2";
    script.tokenRefusals = 2;
    ScriptedImapPeer peer(script);
    ImapSession session(endpointOf(peer), ImapCredentials{QString(), std::make_shared<Tokens>()});
    const QString failure = failureOf([&] { session.folder(); });
    EXPECT_TRUE(failure.contains("refused the sign-in")) << failure;
    EXPECT_EQ(peer.connections(), 1) << "a connection left open is used again";
}

} // namespace
