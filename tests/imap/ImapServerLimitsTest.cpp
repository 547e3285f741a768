#include "ImapServerFixture.h"
#include "batch/BatchSender.h"
#include "common/CancelToken.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "support/OpenCounter.h"
#include <QFileInfo>

namespace {

constexpr std::uint64_t limit = 200000;

class ImapAppendLimitTest : public ImapServerFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.appendLimit = limit;
        return options;
    }
};

TEST_F(ImapAppendLimitTest, ADraftOverTheLimitIsRefusedBeforeItsUpload)
{
    ImapOutbox drafts(endpoint(), QString(DovecotServer::password));
    EXPECT_EQ(drafts.appendLimit(), limit);
    EXPECT_EQ(static_cast<Outbox &>(drafts).messageSizeLimit(), limit);
    const qsizetype loginsBefore = server().log().count("Login: user=<drafter>");
    const QString failure = failureOf([&] { send(drafts, "big", {randomFile("a", limit)}); });
    // A message this large waits for the go-ahead, so the server's own words come back
    // before a byte of it goes, and the connection stays usable.
    EXPECT_TRUE(failure.contains("takes no message this large")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("[LIMIT]")) << failure.toStdString();
    send(drafts, "small", {randomFile("b", 1000)});
    EXPECT_EQ(server().log().count("Login: user=<drafter>") - loginsBefore, 0)
        << "asked on the connection made for the limit";
    EXPECT_EQ(subjectsIn(), QStringList({"small"}));
    EXPECT_EQ(checkImapAccount(endpoint(), DovecotServer::password, CancelToken()).appendLimit,
              limit);
}

TEST_F(ImapAppendLimitTest, ASendWithOneMessageOverTheLimitFilesNoDraftAtAll)
{
    // The first message fits; the second would not: the Send refuses before the first goes.
    const QString small = randomFile("small", 1000);
    const QString big = randomFile("big", limit);
    ASSERT_EQ(QFileInfo(small).path(), QFileInfo(big).path());
    const SendRequest request{QFileInfo(small).path(),
                              {{"big", true}, {"small", true}},
                              "0",
                              "to@example.org",
                              "S-",
                              "me@example.org",
                              ListState::Files};
    ImapOutbox drafts(endpoint(), QString(DovecotServer::password));
    LocalFileSystem files;
    const QString failure = failureOf([&] { sendBatch(request, drafts, files); });
    EXPECT_TRUE(failure.startsWith("The message \"S-big\" (big) would be "))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("more than the %1 bytes").arg(limit)))
        << failure.toStdString();
    EXPECT_TRUE(subjectsIn().isEmpty());
}

TEST_F(ImapAppendLimitTest, TheLimitCountsCrlfLinesAndEachFileIsOpenedOnceToSizeAndOnceToRead)
{
    // A file whose message fits the limit with LF lines, but not with the CRLF lines the
    // server stores.
    const QString edge = randomFile("edge", 147000);
    const QString folder = QFileInfo(edge).path();
    const Draft message{"to@example.org", "me@example.org", "S-edge", {edge}};
    ImapOutbox drafts(endpoint(), QString(DovecotServer::password));
    const std::uint64_t crlf = drafts.storedSize(message);
    ASSERT_LE(MaildirOutbox::forSizing(folder)->storedSize(message), limit);
    ASSERT_GT(crlf, limit);
    SendRequest request{folder,           {{"edge", true}}, "0", "to@example.org", "S-",
                        "me@example.org", ListState::Files};
    request.manifest = false; // the message sized above is the file alone
    LocalFileSystem files;
    const QString failure = failureOf([&] { sendBatch(request, drafts, files); });
    EXPECT_TRUE(failure.startsWith(
        QStringLiteral("The message \"S-edge\" (edge) would be %1 bytes as mail").arg(crlf)))
        << failure.toStdString();
    EXPECT_TRUE(subjectsIn().isEmpty());

    randomFile("one", 50000);
    randomFile("two", 60000);
    request.entries = {{"edge", false}, {"one", true}, {"two", true}};
    OpenCounter counter(folder);
    EXPECT_EQ(sendBatch(request, drafts, files).filedSubjects, QStringList({"S-one", "S-two"}));
    EXPECT_EQ(counter.opens(), (QHash<QString, int>{{"one", 2}, {"two", 2}}));
    EXPECT_EQ(subjectsIn(), QStringList({"S-one", "S-two"}));
}

TEST_F(ImapAppendLimitTest, AMessageTheServerRefusesForItsSizeIsToldAsSuch)
{
    // Straight to the session, past the outbox's own check, as with a server that announces
    // no limit yet enforces one.
    ImapSession session(endpoint(), DovecotServer::password);
    const QByteArray text = "Subject: big\r\n\r\n" + QByteArray(int(limit) + 1000, 'x') + "\r\n";
    const QString failure = failureOf([&] {
        session.append(std::uint64_t(text.size()), "big@test", "the message \"big\"",
                       [&](const ImapSession::MessageSink &sink) {
                           sink(text.constData(), std::size_t(text.size()));
                       });
    });
    EXPECT_TRUE(failure.contains("takes no message this large")) << failure.toStdString();
    EXPECT_TRUE(subjectsIn().isEmpty());
}

class ImapWrongCertificateTest : public ImapServerFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.certificateName = "other.example";
        return options;
    }
};

TEST_F(ImapWrongCertificateTest, ACertificateForAnotherNameIsRefused)
{
    const struct
    {
        const char *name;
        ImapSecurity security;
    } rows[] = {{"tls", ImapSecurity::Tls}, {"starttls", ImapSecurity::StartTls}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype loginsBefore = server().log().count("Login: user=<drafter>");
        ImapOutbox drafts(endpoint(row.security), QString(DovecotServer::password));
        const QString failure = failureOf([&] { send(drafts, "x", {}); });
        EXPECT_TRUE(failure.contains("does not prove it is that server")) << failure.toStdString();
        EXPECT_EQ(server().log().count("Login: user=<drafter>"), loginsBefore)
            << "the password never went out";
    }
    ImapEndpoint e = endpoint();
    e.host = "localhost";
    EXPECT_THROW(checkImapAccount(e, DovecotServer::password, CancelToken()), Failure);
    EXPECT_TRUE(subjectsIn().isEmpty());
}

class ImapWithoutLiteralPlusTest : public ImapServerFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.literalPlus = false;
        return options;
    }
};

TEST_F(ImapWithoutLiteralPlusTest, AppendWaitsForTheGoAheadAndHearsARefusalInstead)
{
    reader().command("CREATE Vanishing");
    ImapEndpoint e = endpoint();
    e.folder = "Vanishing";
    const QString announced =
        checkImapAccount(e, DovecotServer::password, CancelToken()).capabilities;
    ASSERT_FALSE(announced.contains("LITERAL+")) << announced.toStdString();
    ImapOutbox drafts(e, QString(DovecotServer::password));
    send(drafts, "first", {randomFile("a", 300000)});
    EXPECT_EQ(subjectsIn("Vanishing"), QStringList({"first"}));

    reader().command("DELETE Vanishing"); // behind the outbox's back
    const QString failure = failureOf([&] { send(drafts, "second", {randomFile("b", 100)}); });
    EXPECT_TRUE(failure.contains("the folder does not exist")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("TRYCREATE")) << failure.toStdString();
    reader().command("CREATE Vanishing");
    EXPECT_TRUE(subjectsIn("Vanishing").isEmpty());
    reader().command("DELETE Vanishing");
}

class ImapUnmarkedDraftsTest : public ImapServerFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.marksDrafts = false;
        return options;
    }
};

TEST_F(ImapUnmarkedDraftsTest, WithoutAMarkedFolderDraftsIsMadeAndSubscribed)
{
    ImapOutbox drafts(endpoint(), QString(DovecotServer::password));
    send(drafts, "unmarked", {});
    EXPECT_EQ(drafts.folder(), "Drafts");
    EXPECT_EQ(subjectsIn("Drafts"), QStringList({"unmarked"}));
    EXPECT_TRUE(reader().subscribedFolders().contains("Drafts"));
    EXPECT_TRUE(checkImapAccount(endpoint(), DovecotServer::password, CancelToken())
                    .folderChoice.contains("usual name"));
    reader().command("DELETE Drafts");
}

} // namespace
