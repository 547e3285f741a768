// The copy in Sent on the days the IMAP side misbehaves, behind a real SMTP server: the message
// went, so nothing that becomes of its copy may count it as unsent, and no copy is kept twice.
#include "TestServer.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "mailbridge/wiring/ImapSentCopies.h"
#include "support/ScriptedImapPeer.h"
#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <gtest/gtest.h>

namespace {

// Asks to stop once the peer went silent; remembers when.
class CancelOnSilence : public TransferMonitor
{
public:
    explicit CancelOnSilence(const ScriptedImapPeer &peer) : m_peer(peer) {}
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override
    {
        if (!m_since && m_peer.silentConnections() > 0)
            m_since = std::chrono::steady_clock::now();
        return bool(m_since);
    }
    std::optional<std::chrono::steady_clock::time_point> since() const { return m_since; }

private:
    const ScriptedImapPeer &m_peer;
    mutable std::optional<std::chrono::steady_clock::time_point> m_since;
};

class SentCopyPeer : public testing::Test
{
protected:
    static ImapPeerScript withSentFolder()
    {
        ImapPeerScript script;
        script.folders = {{"INBOX", ""}, {"Drafts", "\\Drafts"}, {"Sent Items", "\\Sent"}};
        return script;
    }
    std::unique_ptr<SmtpOutbox> outbox(const ScriptedImapPeer &peer)
    {
        SmtpEndpoint smtp;
        smtp.host = "127.0.0.1";
        smtp.port = server.port();
        smtp.security = ImapSecurity::None;
        smtp.user = "me@example.org";
        auto sending = std::make_unique<SmtpOutbox>(smtp, QStringLiteral("s3cret pass"));
        ImapEndpoint imap;
        imap.host = "127.0.0.1";
        imap.port = peer.port();
        imap.security = ImapSecurity::None;
        imap.user = "me";
        sending->setSentCopies(std::make_unique<ImapSentCopies>(imap, QStringLiteral("pw")));
        return sending;
    }
    Draft draft()
    {
        Draft d;
        d.to = "ann@example.org";
        d.from = "me@example.org";
        d.subject = "scans";
        d.attachmentPaths = {writeFile(files.filePath("a.bin"), randomBytes(300 * 1024, 7))};
        return d;
    }
    int sent() const { return QDir(mail.path()).entryList({"*.eml"}, QDir::Files).size(); }

    QTemporaryDir files;
    QTemporaryDir mail;
    TestServer server{AIOSMTPD_SERVER, {mail.path(), "me@example.org", "s3cret pass", "3000000"}};
};

TEST_F(SentCopyPeer, AStopWhileTheCopyGoesEndsWithinASecondAndTheMessageCountsAsSent)
{
    ImapPeerScript script = withSentFolder();
    script.silence = ImapPeerScript::Silence::AppendLine;
    ScriptedImapPeer peer(script);
    const auto sending = outbox(peer);
    CancelOnSilence monitor(peer);
    const Draft message = draft();
    sending->checkSizes({message});
    try {
        sending->file(message, monitor);
        FAIL() << "the stop was not seen";
    } catch (const FiledWithFailure &failure) {
        EXPECT_TRUE(failure.cancelled());
        EXPECT_TRUE(failure.description().contains("was sent")) << failure.description();
        EXPECT_TRUE(failure.description().contains("Sent Items")) << failure.description();
    }
    ASSERT_TRUE(monitor.since().has_value());
    // Within a second as promised, with room for sanitizers on a busy machine.
    EXPECT_LT(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - *monitor.since()).count(),
        3.0);
    EXPECT_EQ(sent(), 1);
    EXPECT_TRUE(peer.messagesIn("Sent Items").isEmpty());
}

TEST_F(SentCopyPeer, ACopyWhoseAnswerWasLostIsFoundByItsMessageIdAndNotKeptTwice)
{
    ImapPeerScript script = withSentFolder();
    script.afterLiteral = ImapPeerScript::AfterLiteral::CloseStored;
    ScriptedImapPeer peer(script);
    const auto sending = outbox(peer);
    sending->checkSizes({draft()});
    sending->file(draft(), TransferMonitor::none());
    EXPECT_EQ(sent(), 1);
    EXPECT_EQ(peer.messagesIn("Sent Items").size(), 1) << peer.commands().join('\n').toStdString();
    // Filed \Seen and not as a draft.
    ASSERT_FALSE(peer.appends().empty());
    bool flagged = false;
    for (const QByteArray &command : peer.commands())
        if (command.startsWith("APPEND"))
            flagged = command.contains("(\\Seen)");
    EXPECT_TRUE(flagged) << peer.commands().join('\n').toStdString();
}

TEST_F(SentCopyPeer, ARefusedCopyLeavesTheMessageSentWithAWarning)
{
    ImapPeerScript script = withSentFolder();
    script.appendAnswer = "NO [OVERQUOTA] Quota exceeded";
    ScriptedImapPeer peer(script);
    const auto sending = outbox(peer);
    sending->checkSizes({draft()});
    const QString failure =
        failureOf<FiledWithFailure>([&] { sending->file(draft(), TransferMonitor::none()); });
    EXPECT_TRUE(failure.contains("was sent through")) << failure;
    EXPECT_TRUE(failure.contains("Quota exceeded")) << failure;
    EXPECT_TRUE(failure.contains("SaveSentCopy=no")) << failure;
    EXPECT_EQ(sent(), 1);
}

TEST_F(SentCopyPeer, AMessageTooLargeForItsCopyIsRefusedBeforeAnythingGoes)
{
    ImapPeerScript script = withSentFolder();
    script.capabilities << "APPENDLIMIT";
    script.statusAppendLimit = 100 * 1024;
    ScriptedImapPeer peer(script);
    const auto sending = outbox(peer);
    const QString failure = failureOf([&] { sending->checkSizes({draft()}); });
    EXPECT_TRUE(failure.contains("\"scans\"")) << failure;
    EXPECT_TRUE(failure.contains("102400 bytes")) << failure;
    EXPECT_TRUE(failure.contains("Sent Items")) << failure;
    EXPECT_EQ(sent(), 0);
}

TEST_F(SentCopyPeer, AnUnreachableSentFolderStopsTheSendBeforeAnythingGoes)
{
    ImapPeerScript script = withSentFolder();
    script.silence = ImapPeerScript::Silence::Login;
    ScriptedImapPeer peer(script);
    const auto sending = outbox(peer);
    // The cancel check outside a message stops the wait for the login, as a Send's would.
    sending->setCancelCheck([&peer] { return peer.silentConnections() > 0; });
    EXPECT_THROW(sending->checkSizes({draft()}), SendCancelled);
    EXPECT_EQ(sent(), 0);
}

} // namespace
