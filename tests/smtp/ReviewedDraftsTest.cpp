// Review, then send, through the command line against Dovecot: drafts filed, one edited as
// mail programs save an edited draft, one deleted, and the rest sent through Dovecot's
// submission into the recipient's INBOX, each once.
#include "DovecotServer.h"
#include "ImapFolderReader.h"
#include "ParsedMessage.h"
#include "TestServer.h"
#include "support/ScriptRun.h"
#include "support/TestTools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>
#include <map>

namespace {

using Folder = std::vector<StoredMessage>;

class ReviewedDrafts : public testing::Test
{
protected:
    void SetUp() override
    {
        DovecotOptions options;
        options.submission = true;
        options.sentFolder = "Sent";
        dovecot = std::make_unique<DovecotServer>(options);
        sendThrough(dovecot->submissionPort());
    }

    void sendThrough(int smtpPort)
    {
        QDir().mkpath(home.filePath("config/Ferrymail"));
        writeFile(home.filePath("config/Ferrymail/Ferrymail.conf"),
                  QStringLiteral("[MailClient]\nKind=imap\nImapHost=127.0.0.1\nImapPort=%1\n"
                                 "ImapSecurity=none\nImapUser=%2\nPasswordCommand=echo %3\n"
                                 "SmtpHost=127.0.0.1\nSmtpPort=%4\nSmtpSecurity=none\n")
                      .arg(dovecot->imapPort())
                      .arg(QString(DovecotServer::user), QString(DovecotServer::password))
                      .arg(smtpPort)
                      .toUtf8());
    }

    // One draft a file of the folder, filed by the command line.
    void fileDrafts(const std::map<QString, QByteArray> &contents)
    {
        const QString sendFolder = files.filePath("send");
        QDir().mkpath(sendFolder);
        for (const auto &[name, bytes] : contents)
            writeFile(sendFolder + '/' + name, bytes);
        const CommandRun filed =
            ferrymail({"send", "--to", "Ann <ann@example.org>", "--from", "drafter@example.org",
                       "--subject", "Scans: ", "--size", "1", "--all", sendFolder});
        ASSERT_EQ(filed.exitCode, 0) << filed.err.toStdString();
        ASSERT_EQ(folder(DovecotServer::user, DovecotServer::draftsFolder).size(), contents.size());
    }

    CommandRun ferrymail(const QStringList &arguments)
    {
        return runAsScript(FERRYMAIL_BINARY, home.path(), arguments);
    }

    void edit(const QStringList &arguments)
    {
        QProcess python;
        python.start("python3",
                     QStringList{EDIT_DRAFT, "--port", QString::number(dovecot->imapPort()),
                                 "--user", DovecotServer::user, "--password",
                                 DovecotServer::password, "--folder", DovecotServer::draftsFolder} +
                         arguments);
        ASSERT_TRUE(python.waitForFinished(30000));
        ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    }

    Folder folder(const QString &user, const QString &name) const
    {
        return ImapFolderReader(dovecot->imapsPort(), dovecot->caFile(), user,
                                DovecotServer::password)
            .messages(name);
    }

    QTemporaryDir home;
    QTemporaryDir files;
    std::unique_ptr<DovecotServer> dovecot;
};

TEST_F(ReviewedDrafts, SendsTheDraftsAsTheyAreNowEachOnceAndMovesThemToSent)
{
    const QByteArray a = randomBytes(300 * 1024, 1), b = randomBytes(200 * 1024, 2);
    fileDrafts({{"a.bin", a},
                {QString::fromUtf8("ärger über Öl.bin"), b},
                {"c.bin", randomBytes(100 * 1024, 3)}});

    edit({"--subject", "Scans: ärger über Öl.bin", "--new-subject", "Scans, edited"});
    edit({"--subject", "Scans: c.bin", "--delete"});
    const CommandRun preview = ferrymail({"send-drafts", "--dry-run"});
    EXPECT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    EXPECT_TRUE(preview.err.contains("2 drafts to ann@example.org")) << preview.err.toStdString();
    EXPECT_EQ(folder(DovecotServer::recipient, "INBOX").size(), 0u);
    // Nobody to ask, and no --yes: nothing goes.
    EXPECT_EQ(ferrymail({"send-drafts"}).exitCode, 2);

    const CommandRun sent = ferrymail({"send-drafts", "--yes"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString() << dovecot->log().toStdString();
    EXPECT_TRUE(sent.out.endsWith("Sent to ann@example.org: 2 messages\n"))
        << sent.out.toStdString();

    const Folder inbox = folder(DovecotServer::recipient, "INBOX");
    ASSERT_EQ(inbox.size(), 2u);
    QStringList subjects;
    for (const StoredMessage &message : inbox) {
        const ParsedMessage read =
            parseMessageFile(writeFile(files.filePath("read.eml"), message.bytes));
        subjects << read.subject;
        ASSERT_FALSE(read.attachments.empty());
        EXPECT_EQ(read.attachments[0].bytes, read.subject == "Scans, edited" ? b : a);
    }
    subjects.sort();
    EXPECT_EQ(subjects, (QStringList{"Scans, edited", "Scans: a.bin"}));
    EXPECT_TRUE(folder(DovecotServer::user, DovecotServer::draftsFolder).empty());
    const Folder sentFolder = folder(DovecotServer::user, "Sent");
    ASSERT_EQ(sentFolder.size(), 2u);
    for (const StoredMessage &copy : sentFolder) {
        EXPECT_TRUE(copy.flags.contains("\\Seen")) << copy.flags.join(' ').toStdString();
        EXPECT_FALSE(copy.flags.contains("\\Draft")) << copy.flags.join(' ').toStdString();
    }

    // A second run finds nothing left to send.
    const CommandRun again = ferrymail({"send-drafts", "--yes"});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.err.contains("No drafts of Ferrymail's Sends")) << again.err.toStdString();
    EXPECT_EQ(folder(DovecotServer::recipient, "INBOX").size(), 2u);
}

} // namespace

namespace {

TEST_F(ReviewedDrafts, ADraftWhoseAnswerWasLostIsNeverSentAgain)
{
    QTemporaryDir taken;
    // Takes each message whole, then drops the connection without an answer.
    TestServer peer(SCRIPTED_PEER, {taken.path(), "drop-after-dot"});
    ASSERT_GT(peer.port(), 0);
    sendThrough(peer.port());
    fileDrafts({{"a.bin", randomBytes(2000, 1)}, {"b.bin", randomBytes(2000, 2)}});

    const CommandRun first = ferrymail({"send-drafts", "--yes"});
    EXPECT_EQ(first.exitCode, 1);
    EXPECT_TRUE(first.err.contains("May have been sent: Scans: a.bin")) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains("Not sent, still in Drafts: Scans: b.bin"))
        << first.out.toStdString();

    const CommandRun second = ferrymail({"send-drafts", "--yes"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains("Left alone: \"Scans: a.bin\", which an earlier run may"))
        << second.err.toStdString();
    EXPECT_TRUE(second.err.contains("May have been sent: Scans: b.bin"))
        << second.err.toStdString();
    // Each went once; both wait in Drafts for the person to look.
    EXPECT_EQ(QDir(taken.path()).entryList({"*.eml"}, QDir::Files).size(), 2);
    EXPECT_EQ(folder(DovecotServer::user, DovecotServer::draftsFolder).size(), 2u);
    EXPECT_TRUE(ferrymail({"send-drafts", "--dry-run"})
                    .err.contains("Left alone: \"Scans: a.bin\", \"Scans: b.bin\""));
}

} // namespace

namespace {

TEST_F(ReviewedDrafts, SigintWhileTheServerSaysNothingEndsAtOnceAndNamesTheDraft)
{
    QTemporaryDir taken;
    TestServer peer(SCRIPTED_PEER, {taken.path(), "silent-after-data"});
    ASSERT_GT(peer.port(), 0);
    sendThrough(peer.port());
    fileDrafts({{"a.bin", randomBytes(2000, 1)}});

    QProcess process;
    process.setProcessEnvironment(scriptEnvironment(home.path()));
    process.start(FERRYMAIL_BINARY, {"send-drafts", "--yes"});
    // The whole draft is with the server, which keeps its answer to itself.
    const QString stored = taken.filePath("1.eml");
    for (int i = 0; i < 300 && !QFile::exists(stored); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(stored));
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(process.exitCode(), 130);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains("May have been sent: Scans: a.bin")) << err.toStdString();
    EXPECT_TRUE(
        ferrymail({"send-drafts", "--dry-run"}).err.contains("Left alone: \"Scans: a.bin\""));
}

} // namespace
