// Sending through Dovecot's submission service, which relays into Dovecot's LMTP: what the
// recipient's INBOX receives, and the copy in the sender's Sent folder, read back over IMAP.
#include "DovecotServer.h"
#include "ImapFolderReader.h"
#include "ParsedMessage.h"
#include "SignedIn.h"
#include "TokenDovecot.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "mailbridge/wiring/ImapSentCopies.h"
#include "support/MemoryPasswordStore.h"
#include "support/ScriptRun.h"
#include "support/TestTools.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <map>

namespace {

using Folder = std::vector<StoredMessage>;

class DovecotSubmission : public testing::Test
{
protected:
    void start(DovecotOptions options)
    {
        options.submission = true;
        dovecot = std::make_unique<DovecotServer>(std::move(options));
    }
    SmtpEndpoint smtp(const QString &user = DovecotServer::user) const
    {
        SmtpEndpoint endpoint;
        endpoint.host = "127.0.0.1";
        endpoint.port = dovecot->submissionsPort();
        endpoint.security = ImapSecurity::Tls;
        endpoint.user = user;
        endpoint.caFile = dovecot->caFile();
        return endpoint;
    }
    ImapEndpoint imap(const QString &user = DovecotServer::user) const
    {
        ImapEndpoint endpoint;
        endpoint.host = "127.0.0.1";
        endpoint.port = dovecot->imapsPort();
        endpoint.security = ImapSecurity::Tls;
        endpoint.user = user;
        endpoint.caFile = dovecot->caFile();
        return endpoint;
    }
    Folder folder(const QString &user, const QString &name) const
    {
        return ImapFolderReader(dovecot->imapsPort(), dovecot->caFile(), user,
                                DovecotServer::password)
            .messages(name);
    }
    ParsedMessage parsed(const QByteArray &bytes)
    {
        return parseMessageFile(
            writeFile(files.filePath(QStringLiteral("read-%1.eml").arg(++m_read)), bytes));
    }
    Draft draft(const QString &subject, const QStringList &paths)
    {
        Draft d;
        d.to = QStringLiteral("Ann <%1@example.org>").arg(DovecotServer::recipient);
        d.from = "Drafter <drafter@example.org>";
        d.subject = subject;
        d.attachmentPaths = paths;
        return d;
    }
    // Each message that arrived, by its Message-ID, checked to be there once.
    std::map<QString, ParsedMessage> byMessageId(const Folder &messages)
    {
        std::map<QString, ParsedMessage> found;
        for (const StoredMessage &message : messages) {
            ParsedMessage one = parsed(message.bytes);
            EXPECT_FALSE(found.count(one.messageId)) << one.messageId;
            found[one.messageId] = std::move(one);
        }
        return found;
    }

    QTemporaryDir files;
    std::unique_ptr<DovecotServer> dovecot;

private:
    int m_read = 0;
};

TEST_F(DovecotSubmission, EachMessageArrivesOnceWithItsFilesAndItsSeenCopyInSent)
{
    DovecotOptions options;
    options.sentFolder = "Sent Items";
    start(options);
    SmtpOutbox outbox(smtp(), QString(DovecotServer::password));
    outbox.setSentCopies(
        std::make_unique<ImapSentCopies>(imap(), QString(DovecotServer::password)));

    // A line of dots, a lone dot and bare line ends inside, as sent files may hold.
    QByteArray binary = randomBytes(700 * 1024, 11);
    binary.replace(0, 9, "\n.\r\n.\r.\n");
    const QByteArray text = "From the start\n.\n..\nend without a line end";
    const QString a = writeFile(files.filePath("a.bin"), binary);
    const QString b = writeFile(files.filePath("b.txt"), text);
    const std::vector<Draft> drafts = {draft("one", {a}), draft("two", {b}),
                                       draft("three", {a, b})};
    outbox.checkSizes(drafts);
    for (const Draft &message : drafts)
        outbox.file(message, TransferMonitor::none());

    const Folder inbox = folder(DovecotServer::recipient, "INBOX");
    const Folder sent = folder(DovecotServer::user, "Sent Items");
    ASSERT_EQ(inbox.size(), 3u) << dovecot->log().toStdString();
    ASSERT_EQ(sent.size(), 3u) << dovecot->log().toStdString();
    const auto arrived = byMessageId(inbox);
    const auto copies = byMessageId(sent);
    ASSERT_EQ(arrived.size(), 3u);
    const std::map<QString, std::vector<QByteArray>> expected = {
        {"one", {binary}}, {"two", {text}}, {"three", {binary, text}}};
    for (const auto &[id, message] : arrived) {
        SCOPED_TRACE(message.subject.toStdString());
        ASSERT_TRUE(expected.count(message.subject));
        const std::vector<QByteArray> &files = expected.at(message.subject);
        ASSERT_EQ(message.attachments.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i)
            EXPECT_EQ(message.attachments[i].bytes, files[i]);
        EXPECT_FALSE(message.raw.contains("\nBcc:"));
        // The copy is what went, byte for byte, without the trace the delivery put on top.
        ASSERT_TRUE(copies.count(id));
        EXPECT_TRUE(message.raw.endsWith(copies.at(id).raw));
    }
    for (const StoredMessage &copy : sent) {
        EXPECT_TRUE(copy.flags.contains("\\Seen")) << copy.flags.join(' ').toStdString();
        EXPECT_FALSE(copy.flags.contains("\\Draft")) << copy.flags.join(' ').toStdString();
    }
    EXPECT_TRUE(folder(DovecotServer::user, DovecotServer::draftsFolder).empty());
}

TEST_F(DovecotSubmission, SignedInWithXoauth2BothSendAndCopyAndTheUnmarkedSentIsMade)
{
    AuthorizationServer authorization;
    QTemporaryDir settings;
    DovecotOptions options =
        tokenLogins(authorization, settings, "plain login xoauth2 oauthbearer");
    start(options);
    const QString key = "imap-oauth2://drafter@127.0.0.1";
    const auto keyring = std::make_shared<MemoryPasswordStore>();
    signedInRefreshToken(authorization, *keyring, key, DovecotServer::user);
    const auto tokens =
        std::make_shared<RefreshingTokenSource>(authorization.endpoints(), keyring, key);

    SmtpEndpoint endpoint = smtp();
    endpoint.loginOptions = "AUTH=XOAUTH2";
    SmtpOutbox outbox(endpoint, tokens);
    outbox.setSentCopies(std::make_unique<ImapSentCopies>(imap(), tokens));
    const QByteArray bytes = randomBytes(64 * 1024, 5);
    const Draft message = draft("signed in", {writeFile(files.filePath("c.bin"), bytes)});
    outbox.checkSizes({message});
    outbox.file(message, TransferMonitor::none());

    const Folder inbox = folder(DovecotServer::recipient, "INBOX");
    ASSERT_EQ(inbox.size(), 1u) << dovecot->log().toStdString();
    const ParsedMessage arrived = parsed(inbox[0].bytes);
    ASSERT_EQ(arrived.attachments.size(), 1u);
    EXPECT_EQ(arrived.attachments[0].bytes, bytes);
    // No folder is marked \Sent: "Sent" is made, and takes the copy.
    const Folder sent = folder(DovecotServer::user, "Sent");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].flags.contains("\\Seen"));
    EXPECT_TRUE(inbox[0].bytes.endsWith(sent[0].bytes));
    EXPECT_GT(authorization.counts()["introspections"].toInt(), 0);
}

// Rewrites the file, keeping its length, as the copy starts reading it: after the message went.
class ChangeFileForTheCopy : public TransferMonitor
{
public:
    explicit ChangeFileForTheCopy(QString path) : m_path(std::move(path)) {}
    void attachmentStarted(const QString &) override
    {
        if (++m_started == 2)
            writeFile(m_path, randomBytes(fileBytes(m_path).size(), 99));
    }
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override { return false; }

private:
    QString m_path;
    int m_started = 0;
};

TEST_F(DovecotSubmission, AFileChangedAfterTheSendLeavesNoCopyThatDiffersFromWhatWent)
{
    DovecotOptions options;
    options.sentFolder = "Sent Items";
    start(options);
    SmtpOutbox outbox(smtp(), QString(DovecotServer::password));
    outbox.setSentCopies(
        std::make_unique<ImapSentCopies>(imap(), QString(DovecotServer::password)));
    const QByteArray bytes = randomBytes(500 * 1024, 3);
    const QString path = writeFile(files.filePath("d.bin"), bytes);
    ChangeFileForTheCopy monitor(path);
    const QString failure =
        failureOf<FiledWithFailure>([&] { outbox.file(draft("changed", {path}), monitor); });
    EXPECT_TRUE(failure.contains("changed after it was sent")) << failure;

    const Folder inbox = folder(DovecotServer::recipient, "INBOX");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(parsed(inbox[0].bytes).attachments.at(0).bytes, bytes);
    EXPECT_TRUE(folder(DovecotServer::user, "Sent Items").empty());
}

// `ferrymail send` as a script runs it, with the account's settings and no keyring: the
// password comes from PasswordCommand for both the submission and the copy.
CommandRun sendAs(const DovecotServer &dovecot, const QString &user, const QString &folder,
                  const QTemporaryDir &home)
{
    QDir().mkpath(home.filePath("config/Ferrymail"));
    writeFile(home.filePath("config/Ferrymail/Ferrymail.conf"),
              QStringLiteral("[MailClient]\nKind=smtp\nSmtpHost=127.0.0.1\nSmtpPort=%1\n"
                             "SmtpSecurity=none\nImapHost=127.0.0.1\nImapPort=%2\n"
                             "ImapSecurity=none\nImapUser=%3\nPasswordCommand=echo %4\n")
                  .arg(dovecot.submissionPort())
                  .arg(dovecot.imapPort())
                  .arg(user, QString(DovecotServer::password))
                  .toUtf8());
    return runAsScript(FERRYMAIL_BINARY, home.path(),
                       {"send", "--to", "ann@example.org", "--from", user + "@example.org",
                        "--subject", "Scans: ", "--size", "100000", folder, "a.bin"});
}

TEST_F(DovecotSubmission, TheCommandLineSendsWithACopyAndSaysSentWhenOnlyTheCopyFailed)
{
    DovecotOptions options;
    options.sentFolder = "Sent Items";
    start(options);
    QTemporaryDir home;
    const QString folderPath = files.filePath("send");
    QDir().mkpath(folderPath);
    writeFile(folderPath + "/a.bin", randomBytes(200 * 1024, 8));

    const CommandRun sent = sendAs(*dovecot, DovecotServer::user, folderPath, home);
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString() << dovecot->log().toStdString();
    EXPECT_EQ(sent.out, "Scans: a.bin\nSent to ann@example.org: 1 message\n");
    EXPECT_EQ(folder(DovecotServer::user, "Sent Items").size(), 1u);

    // The quota of "full" has no room for the copy: the message went all the same.
    const CommandRun full = sendAs(*dovecot, DovecotServer::fullUser, folderPath, home);
    EXPECT_EQ(full.exitCode, 1) << full.err.toStdString();
    EXPECT_EQ(full.out, "Scans: a.bin\nSent to ann@example.org: 1 message\n");
    EXPECT_TRUE(full.err.contains("was sent through")) << full.err;
    EXPECT_TRUE(full.err.contains("copy could not be put in")) << full.err;
    EXPECT_FALSE(full.err.contains("Not sent")) << full.err;
    EXPECT_EQ(folder(DovecotServer::recipient, "INBOX").size(), 2u);
    EXPECT_TRUE(folder(DovecotServer::fullUser, "Sent Items").empty());
}

} // namespace
