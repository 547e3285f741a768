#include "mailbridge/smtp/SmtpOutbox.h"
#include "ParsedMessage.h"
#include "TestServer.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "support/TestTools.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <chrono>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// Asks to stop once when() says so; remembers when it first did.
class CancelWhen : public TransferMonitor
{
public:
    explicit CancelWhen(std::function<bool()> when) : m_when(std::move(when)) {}
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override
    {
        if (!m_since && m_when())
            m_since = std::chrono::steady_clock::now();
        return bool(m_since);
    }
    std::optional<std::chrono::steady_clock::time_point> since() const { return m_since; }

private:
    std::function<bool()> m_when;
    mutable std::optional<std::chrono::steady_clock::time_point> m_since;
};

class SmtpTest : public testing::Test
{
protected:
    Draft draft(const QString &subject, const QStringList &files = {})
    {
        Draft d;
        d.to = "Ann <ann@example.org>, \"Bob, B.\" <bob@example.net>";
        d.from = "Me <me@example.org>";
        d.subject = subject;
        d.attachmentPaths = files;
        return d;
    }
    QStringList stored() const
    {
        return QDir(mail.path()).entryList({"*.eml"}, QDir::Files, QDir::Name);
    }
    static SmtpEndpoint loopback(int port, const QString &user = {})
    {
        SmtpEndpoint endpoint;
        endpoint.host = "127.0.0.1";
        endpoint.port = port;
        endpoint.security = ImapSecurity::None;
        endpoint.user = user;
        return endpoint;
    }
    static void fast(SmtpOutbox &outbox) { outbox.setRetryPauses({10ms, 20ms, 40ms}); }
    QTemporaryDir files;
    QTemporaryDir mail;
};

class AiosmtpdTest : public SmtpTest
{
protected:
    TestServer server{AIOSMTPD_SERVER, {mail.path(), "me@example.org", "s3cret pass", "3000000"}};
};

TEST_F(AiosmtpdTest, EachMessageArrivesOnceWithItsFilesIntactOverOneLogin)
{
    ASSERT_GT(server.port(), 0);
    for (const QString &mechanism : {QStringLiteral("AUTH=PLAIN"), QStringLiteral("AUTH=LOGIN")}) {
        SCOPED_TRACE(mechanism.toStdString());
        for (const QString &name : stored())
            QFile::remove(mail.filePath(name));
        SmtpEndpoint endpoint = loopback(server.port(), "me@example.org");
        endpoint.loginOptions = mechanism;
        SmtpOutbox outbox(endpoint, QStringLiteral("s3cret pass"));
        std::vector<QByteArray> contents;
        std::vector<Draft> drafts;
        for (int i = 0; i < 3; ++i) {
            contents.push_back(randomBytes(200 * 1024 + i * 777, quint32(i + 1)));
            // A line of dots and a lone dot inside, as a sent file may hold.
            contents.back().replace(0, 5, "\n.\r\n.");
            const QString path =
                writeFile(files.filePath(QStringLiteral("f%1.bin").arg(i)), contents.back());
            drafts.push_back(draft(QStringLiteral("part %1").arg(i + 1), {path}));
        }
        outbox.checkSizes(drafts);
        for (const Draft &d : drafts)
            outbox.file(d, TransferMonitor::none());
        const QStringList got = stored();
        ASSERT_EQ(got.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const ParsedMessage message = parseMessageFile(mail.filePath(got[i]));
            EXPECT_EQ(message.subject, QStringLiteral("part %1").arg(i + 1));
            ASSERT_EQ(message.attachments.size(), 1u);
            EXPECT_EQ(message.attachments[0].bytes, contents[size_t(i)]);
            EXPECT_FALSE(message.raw.contains("\nBcc:"));
            const QJsonObject envelope =
                QJsonDocument::fromJson(
                    fileBytes(mail.filePath(QStringLiteral("%1.json").arg(i + 1))))
                    .object();
            EXPECT_EQ(envelope["from"].toString(), "me@example.org");
            EXPECT_EQ(envelope["to"].toVariant().toStringList(),
                      QStringList({"ann@example.org", "bob@example.net"}));
            EXPECT_EQ(envelope["auth"].toString(), "me@example.org");
        }
    }
}

TEST_F(AiosmtpdTest, TheServersSizeIsCheckedBeforeAnythingGoes)
{
    SmtpOutbox outbox(loopback(server.port(), "me@example.org"), QStringLiteral("s3cret pass"));
    EXPECT_EQ(outbox.messageSizeLimit(), std::optional<std::uint64_t>(3000000));
    const QString small = writeFile(files.filePath("small.bin"), randomBytes(1000, 1));
    const QString big = writeFile(files.filePath("big.bin"), randomBytes(2400 * 1024, 2));
    const std::vector<Draft> drafts = {draft("small", {small}), draft("big", {big})};
    const QString failure = failureOf([&] { outbox.checkSizes(drafts); });
    EXPECT_TRUE(failure.contains("\"big\"")) << failure;
    EXPECT_TRUE(failure.contains("3000000")) << failure;
    EXPECT_TRUE(stored().isEmpty());
    // The size counted is the size the server receives.
    const std::uint64_t size = outbox.storedSize(drafts[0]);
    outbox.file(drafts[0], TransferMonitor::none());
    EXPECT_EQ(std::uint64_t(fileBytes(mail.filePath("1.eml")).size()), size);
}

TEST_F(AiosmtpdTest, AWrongPasswordSendsNothingAndSaysSo)
{
    SmtpOutbox outbox(loopback(server.port(), "me@example.org"), QStringLiteral("wrong"));
    const QString failure = failureOf([&] { outbox.file(draft("x"), TransferMonitor::none()); });
    EXPECT_TRUE(failure.contains("535")) << failure;
    EXPECT_TRUE(stored().isEmpty());
}

TEST_F(SmtpTest, LoginTextsWithLineBreaksAreRefusedBeforeAnythingGoes)
{
    SmtpOutbox withUser(loopback(9, "me\r\nRCPT TO:<x@y>"), QStringLiteral("pw"));
    EXPECT_TRUE(failureOf([&] {
                    withUser.file(draft("x"), TransferMonitor::none());
                }).contains("SmtpUser"));
    SmtpOutbox withPassword(loopback(9, "me"), QStringLiteral("pw\nQUIT"));
    EXPECT_TRUE(failureOf([&] {
                    withPassword.file(draft("x"), TransferMonitor::none());
                }).contains("password"));
    Draft bad = draft("x");
    bad.to = "ann@example.org\r\nRCPT TO:<eve@example.org>";
    EXPECT_TRUE(
        failureOf([&] { withPassword.file(bad, TransferMonitor::none()); }).contains("Send to"));
}

class ScriptedPeerTest : public SmtpTest
{
protected:
    std::unique_ptr<TestServer> peer;
    std::unique_ptr<SmtpOutbox> start(const char *scenario)
    {
        peer = std::make_unique<TestServer>(SCRIPTED_PEER, QStringList{mail.path(), scenario});
        EXPECT_GT(peer->port(), 0);
        auto outbox = std::make_unique<SmtpOutbox>(loopback(peer->port()), std::nullopt);
        fast(*outbox);
        return outbox;
    }
};

TEST_F(ScriptedPeerTest, AClosingServerIsReconnectedToWithoutSendingAnythingTwice)
{
    auto outbox = start("421-after-two");
    for (int i = 1; i <= 4; ++i)
        outbox->file(draft(QStringLiteral("m%1").arg(i)), TransferMonitor::none());
    const QStringList got = stored();
    ASSERT_EQ(got.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(parseMessageFile(mail.filePath(got[i])).subject,
                  QStringLiteral("m%1").arg(i + 1));
}

TEST_F(ScriptedPeerTest, ATemporaryRefusalOfARecipientIsTriedAgain)
{
    auto outbox = start("rcpt-4xx-once");
    outbox->file(draft("m"), TransferMonitor::none());
    EXPECT_EQ(stored().size(), 1);
}

TEST_F(ScriptedPeerTest, ARefusalAtTheFinalDotIsNotSentAndNotTriedAgain)
{
    auto outbox = start("552-at-dot");
    try {
        outbox->file(draft("m"), TransferMonitor::none());
        ADD_FAILURE() << "the refusal passed";
    } catch (const PerhapsFiled &perhaps) {
        ADD_FAILURE() << perhaps.description();
    } catch (const Failure &failure) {
        EXPECT_TRUE(failure.description().contains("552")) << failure.description();
    }
}

TEST_F(ScriptedPeerTest, ALostAnswerAfterTheFinalDotMayHaveSentAndIsNeverSentAgain)
{
    auto outbox = start("drop-after-dot");
    const QString failure =
        failureOf<PerhapsFiled>([&] { outbox->file(draft("m"), TransferMonitor::none()); });
    EXPECT_TRUE(failure.startsWith("May have been sent")) << failure;
    EXPECT_EQ(stored().size(), 1);
    // The next message goes on a new connection, and only it.
    outbox->setPatience(60s);
    EXPECT_TRUE(failureOf<PerhapsFiled>([&] {
                    outbox->file(draft("n"), TransferMonitor::none());
                }).startsWith("May have been sent"));
    EXPECT_EQ(stored().size(), 2);
}

TEST_F(ScriptedPeerTest, CancelEndsTheWaitForAGreetingThatNeverComes)
{
    auto outbox = start("no-greeting");
    outbox->setPatience(300s);
    const auto begin = std::chrono::steady_clock::now();
    CancelWhen monitor([begin] { return std::chrono::steady_clock::now() - begin > 300ms; });
    bool cancelled = false;
    try {
        outbox->file(draft("m"), monitor);
    } catch (const SendCancelled &) {
        cancelled = true;
    }
    EXPECT_TRUE(cancelled);
    ASSERT_TRUE(monitor.since());
    // Far below the patience: the cancel, not a timeout, ended it.
    EXPECT_LT(std::chrono::steady_clock::now() - *monitor.since(), 30s);
}

TEST_F(ScriptedPeerTest, CancelWhileWaitingForTheFinalAnswerMayHaveSent)
{
    auto outbox = start("silent-after-data");
    outbox->setPatience(300s);
    CancelWhen monitor([this] { return QFile::exists(mail.filePath("1.eml")); });
    bool cancelled = false;
    const QString failure = failureOf<PerhapsFiled>([&] {
        try {
            outbox->file(draft("m"), monitor);
        } catch (const PerhapsFiled &perhaps) {
            cancelled = perhaps.cancelled();
            throw;
        }
    });
    EXPECT_TRUE(failure.startsWith("May have been sent")) << failure;
    EXPECT_TRUE(cancelled);
}

TEST_F(ScriptedPeerTest, AnEndlessReplyLineIsCutOff)
{
    auto outbox = start("endless-line");
    outbox->setPatience(300s);
    const QString failure = failureOf([&] { outbox->file(draft("m"), TransferMonitor::none()); });
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_LT(failure.size(), 2000) << "the reply is not quoted whole";
}

} // namespace
