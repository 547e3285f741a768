#include "mailbridge/imap/ImapOutbox.h"
#include "ImapServerFixture.h"
#include "RecordingMonitor.h"
#include "batch/CancelToken.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/ParsedMessage.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/password/PasswordStore.h"
#include "support/MemoryPasswordStore.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <functional>

namespace {

class ImapOutboxTest : public ImapServerFixture
{
protected:
    ImapOutbox outbox(ImapEndpoint e) { return ImapOutbox(e, QString(DovecotServer::password)); }
    ImapOutbox outbox() { return outbox(endpoint()); }
};

TEST_F(ImapOutboxTest, DraftsComeBackWholeFlaggedAndInOrder)
{
    const QStringList first = {randomFile("a.bin", 300000), randomFile("b.txt", 17)};
    const QStringList second = {};
    const QStringList third = {randomFile("c.bin", 2 * 1024 * 1024 + 3)};
    ImapOutbox drafts = outbox();
    send(drafts, "one", first);
    send(drafts, "two", second);
    send(drafts, "three", third);

    const auto stored = reader().messages(DovecotServer::draftsFolder);
    ASSERT_EQ(stored.size(), 3u);
    const QList<QStringList> sources = {first, second, third};
    const QStringList subjects = {"one", "two", "three"};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(subjects[qsizetype(i)].toStdString());
        EXPECT_TRUE(stored[i].flags.contains("\\Draft")) << stored[i].flags.join(' ');
        EXPECT_TRUE(stored[i].flags.contains("\\Seen")) << stored[i].flags.join(' ');
        const QString copy =
            writeFile(dir.filePath(QStringLiteral("stored%1.eml").arg(i)), stored[i].bytes);
        const ParsedMessage parsed = parseMessageFile(copy);
        EXPECT_EQ(parsed.subject, subjects[qsizetype(i)]);
        const QStringList &files = sources[qsizetype(i)];
        // IMAP requires CRLF; the size announced, the dry run's and the limit check's are
        // all the composed CRLF size, which must be what the server stores.
        EXPECT_FALSE(QRegularExpression("(^|[^\r])\n")
                         .match(QString::fromLatin1(stored[i].bytes))
                         .hasMatch())
            << "a bare LF went to the server";
        MessageContent content;
        content.to = QStringLiteral("someone@example.org");
        content.from = QStringLiteral("Me <me@example.org>");
        content.subject = subjects[qsizetype(i)];
        for (const QString &file : files)
            content.attachments.push_back(inspectAttachment(file));
        EXPECT_EQ(std::uint64_t(stored[i].bytes.size()), composedSize(content, LineEnding::CrLf));
        ASSERT_EQ(parsed.attachments.size(), std::size_t(files.size()));
        for (qsizetype k = 0; k < files.size(); ++k)
            EXPECT_TRUE(parsed.attachments[std::size_t(k)].bytes == fileBytes(files[k]))
                << files[k].toStdString();
    }
    EXPECT_TRUE(reader().subscribedFolders().contains(DovecotServer::draftsFolder));
}

TEST_F(ImapOutboxTest, AnIndependentReaderSeesTheSameDraft)
{
    const QString file = randomFile("photo.jpg", 123457);
    ImapOutbox drafts = outbox();
    send(drafts, "for python", {file});
    const auto stored = reader().messages(DovecotServer::draftsFolder);
    ASSERT_EQ(stored.size(), 1u);

    QProcess python;
    python.start("python3", {READ_FOLDER_SCRIPT, "127.0.0.1", QString::number(server().imapsPort()),
                             DovecotServer::user, DovecotServer::password,
                             DovecotServer::draftsFolder, server().caFile(), dir.path()});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList words = QString::fromUtf8(python.readAllStandardOutput())
                                  .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    ASSERT_FALSE(words.isEmpty());
    EXPECT_EQ(words[0], QString::number(stored[0].uid));
    EXPECT_TRUE(words.contains("\\Draft")) << words.join(' ');
    const QString copy = dir.filePath(words[0] + ".eml");
    EXPECT_TRUE(fileBytes(copy) == stored[0].bytes);
    const ParsedMessage parsed = parseMessageFile(copy);
    ASSERT_EQ(parsed.attachments.size(), 1u);
    EXPECT_EQ(parsed.attachments[0].fileName, "photo.jpg");
    EXPECT_TRUE(parsed.attachments[0].bytes == fileBytes(file));

    // And Python's email package, not GMime, reads the draft as it came from the server.
    QProcess reader;
    reader.start("python3", {READ_MESSAGE_SCRIPT, copy});
    ASSERT_TRUE(reader.waitForFinished(30'000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QJsonObject seen = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    EXPECT_TRUE(seen["defects"].toArray().isEmpty()) << QJsonDocument(seen).toJson().toStdString();
    EXPECT_EQ(seen["subject"].toString(), "for python");
    const QJsonArray attachments = seen["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 1);
    const QJsonObject photo = attachments[0].toObject();
    EXPECT_EQ(photo["filename"].toString(), "photo.jpg");
    EXPECT_EQ(photo["sha256"].toString(),
              QCryptographicHash::hash(fileBytes(file), QCryptographicHash::Sha256).toHex());
}

TEST_F(ImapOutboxTest, EverySecurityDelivers)
{
    const struct
    {
        const char *name;
        ImapSecurity security;
    } rows[] = {{"tls", ImapSecurity::Tls},
                {"starttls", ImapSecurity::StartTls},
                {"none, to loopback", ImapSecurity::None}};
    const QString file = randomFile("a.bin", 5000);
    QStringList expected;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ImapOutbox drafts = outbox(endpoint(row.security));
        EXPECT_NO_THROW(send(drafts, row.name, {file}));
        expected << row.name;
    }
    EXPECT_EQ(subjectsIn(), expected);
}

TEST_F(ImapOutboxTest, OneConnectionServesTheWholeSend)
{
    const auto logins = [] { return server().log().count("Login: user=<drafter>"); };
    const qsizetype before = logins();
    ImapOutbox drafts = outbox();
    for (const char *subject : {"a", "b", "c"})
        send(drafts, subject, {randomFile("x.bin", 1000)});
    EXPECT_EQ(logins() - before, 1) << server().log().toStdString();
}

TEST_F(ImapOutboxTest, FailuresSayWhatToDoAndFileNothing)
{
    const QString file = randomFile("a.bin", 5000);
    const struct
    {
        const char *name;
        std::function<void(ImapEndpoint &, QString &)> change;
        const char *says;
    } rows[] = {
        {"wrong password", [](ImapEndpoint &, QString &password) { password = "wrong"; },
         "refused the user name or password"},
        {"unknown user", [](ImapEndpoint &e, QString &) { e.user = "nobody-here"; },
         "refused the user name or password"},
        {"certificate from an authority the system does not trust",
         [](ImapEndpoint &e, QString &) { e.caFile.clear(); }, "does not prove"},
        {"named folder missing", [](ImapEndpoint &e, QString &) { e.folder = "Nowhere"; },
         "The folder \"Nowhere\" does not exist"},
        {"TLS spoken to the plain port",
         [](ImapEndpoint &e, QString &) { e.port = server().imapPort(); }, "no secure connection"},
        {"nothing listening",
         [](ImapEndpoint &e, QString &) {
             DovecotServer &s = server();
             e.port = 1; // privileged and unused on a test machine
             (void)s;
         },
         "nothing answers"},
        {"no encryption to another machine",
         [](ImapEndpoint &e, QString &) {
             e.host = "192.0.2.1"; // never contacted: refused before connecting
             e.security = ImapSecurity::None;
         },
         "without encryption"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ImapEndpoint e = endpoint();
        QString password = DovecotServer::password;
        row.change(e, password);
        ImapOutbox drafts(e, password);
        const QString failure = failureOf([&] { send(drafts, row.name, {file}); });
        EXPECT_TRUE(failure.contains(row.says)) << failure.toStdString();
    }
    EXPECT_TRUE(subjectsIn().isEmpty()) << subjectsIn().join(", ").toStdString();
}

TEST_F(ImapOutboxTest, AFullMailboxIsToldAsSuch)
{
    ImapOutbox drafts = outbox(endpoint(ImapSecurity::Tls, DovecotServer::fullUser));
    const QString failure = failureOf([&] { send(drafts, "big", {randomFile("a", 100000)}); });
    EXPECT_TRUE(failure.contains("is full")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("OVERQUOTA")) << failure.toStdString();
    EXPECT_TRUE(subjectsIn(DovecotServer::draftsFolder, DovecotServer::fullUser).isEmpty());
}

TEST_F(ImapOutboxTest, ServerGoneMidSendKeepsEarlierDraftsAndNoPartOfTheLost)
{
    ImapOutbox drafts = outbox();
    send(drafts, "one", {randomFile("1", 100000)});
    send(drafts, "two", {randomFile("2", 100000)});
    const qsizetype size = 16 * 1024 * 1024;
    RecordingMonitor monitor;
    monitor.onBytes = [&](std::int64_t total) {
        if (total > size / 2)
            server().kill();
    };
    const QString failure =
        failureOf([&] { send(drafts, "three", {randomFile("3", size)}, monitor); });
    EXPECT_TRUE(failure.contains("was lost")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("\"three\"")) << failure.toStdString();

    server().start();
    EXPECT_EQ(subjectsIn(), QStringList({"one", "two"}));
    send(drafts, "four", {randomFile("4", 1000)});
    EXPECT_EQ(subjectsIn(), QStringList({"one", "two", "four"})) << "a new connection is made";
}

TEST_F(ImapOutboxTest, AServerRestartedBetweenMessagesIsReconnectedTo)
{
    ImapOutbox drafts = outbox();
    send(drafts, "before", {randomFile("1", 1000)});
    server().kill();
    server().start();
    EXPECT_NO_THROW(send(drafts, "after", {randomFile("2", 1000)}));
    EXPECT_EQ(subjectsIn(), QStringList({"before", "after"}));
}

TEST_F(ImapOutboxTest, CancelMidAppendDropsThatDraftOnly)
{
    ImapOutbox drafts = outbox();
    send(drafts, "one", {randomFile("1", 1000)});
    const qsizetype size = 16 * 1024 * 1024;
    RecordingMonitor monitor;
    monitor.onBytes = [&](std::int64_t total) { monitor.cancel = total > size / 2; };
    EXPECT_THROW(send(drafts, "two", {randomFile("2", size)}, monitor), SendCancelled);
    EXPECT_LT(monitor.total, size);
    send(drafts, "three", {randomFile("3", 1000)});
    EXPECT_EQ(subjectsIn(), QStringList({"one", "three"}));
}

TEST_F(ImapOutboxTest, AnItemOutlivingItsOutboxStillFiles)
{
    std::unique_ptr<MailItem> item;
    {
        ImapOutbox drafts = outbox();
        item = drafts.CreateItem();
    }
    item->setSubject("orphan");
    item->addAttachment(randomFile("a", 10));
    item->Send();
    EXPECT_EQ(subjectsIn(), QStringList({"orphan"}));
    EXPECT_THROW(item->Send(), Failure) << "a message is filed once";
    EXPECT_EQ(subjectsIn().size(), 1);
}

TEST_F(ImapOutboxTest, ProgressCountsEveryAttachmentByteInOrder)
{
    const QStringList files = {randomFile("a", 3 * 1024 * 1024), randomFile("empty", 0),
                               randomFile("c", 1234)};
    ImapOutbox drafts = outbox();
    RecordingMonitor monitor;
    std::vector<std::int64_t> totals;
    monitor.onBytes = [&](std::int64_t total) { totals.push_back(total); };
    send(drafts, "progress", files, monitor);
    EXPECT_EQ(monitor.started, files);
    EXPECT_EQ(monitor.total, 3 * 1024 * 1024 + 1234);
    EXPECT_GT(totals.size(), 2u) << "reported while sending, not only at the end";
}

TEST_F(ImapOutboxTest, ANamedFolderIsUsedEvenWithAnUnusualName)
{
    const QString name = QStringLiteral("Entwürfe & Co");
    const QByteArray encoded = "Entw&APw-rfe &- Co";
    reader().command("CREATE \"" + encoded + "\"");
    ImapEndpoint e = endpoint();
    e.folder = name;
    ImapOutbox drafts = outbox(e);
    send(drafts, "named", {randomFile("a", 100)});
    EXPECT_EQ(subjectsIn(QString::fromLatin1(encoded)), QStringList({"named"}));
    EXPECT_TRUE(subjectsIn().isEmpty());
    EXPECT_TRUE(reader().subscribedFolders().contains(QString::fromLatin1(encoded)));
    EXPECT_EQ(drafts.folder(), name);
    reader().command("DELETE \"" + encoded + "\"");
}

TEST_F(ImapOutboxTest, AccountCheckTellsWhatTheServerSaidAndSubscribes)
{
    reader().command("UNSUBSCRIBE Brouillons");
    const ImapAccountCheck check =
        checkImapAccount(endpoint(), DovecotServer::password, CancelToken());
    EXPECT_EQ(check.folder, DovecotServer::draftsFolder);
    EXPECT_TRUE(check.folderChoice.contains("\\Drafts")) << check.folderChoice.toStdString();
    EXPECT_TRUE(check.greeting.contains("Dovecot")) << check.greeting.toStdString();
    EXPECT_TRUE(check.capabilities.contains("IMAP4REV1")) << check.capabilities.toStdString();
    EXPECT_FALSE(check.appendLimit.has_value());
    EXPECT_TRUE(check.summary().contains(check.greeting));
    EXPECT_TRUE(reader().subscribedFolders().contains(DovecotServer::draftsFolder));

    const QString failure =
        failureOf([&] { checkImapAccount(endpoint(), "wrong", CancelToken()); });
    EXPECT_TRUE(failure.contains("refused the user name or password")) << failure.toStdString();
}

TEST_F(ImapOutboxTest, ThePasswordComesFromTheKeyringOrTheCommand)
{
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    account.imapHost = "127.0.0.1";
    account.imapPort = server().imapsPort();
    account.imapUser = DovecotServer::user;
    const struct
    {
        const char *name;
        bool inKeyring;
        const char *command;
    } rows[] = {
        {"keyring, command not run", true, "echo never >&2; exit 3"},
        {"command's first line", false, "printf 'secret\\nnot this\\n'"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        account.passwordCommand = row.command;
        MemoryPasswordStore keyring;
        if (row.inKeyring)
            keyring.write(passwordKey(account), DovecotServer::password);
        const std::optional<QString> password = resolvePassword(account, keyring);
        ASSERT_TRUE(password.has_value());
        ImapEndpoint e = imapEndpoint(account);
        e.caFile = server().caFile();
        ImapOutbox drafts(e, password);
        EXPECT_NO_THROW(send(drafts, row.name, {}));
    }
    EXPECT_EQ(subjectsIn().size(), 2);

    ImapOutbox withoutPassword(endpoint(), std::nullopt);
    const QString failure = failureOf([&] { send(withoutPassword, "none", {}); });
    EXPECT_TRUE(failure.contains("no password")) << failure.toStdString();
    withoutPassword.setPassword(DovecotServer::password);
    EXPECT_NO_THROW(send(withoutPassword, "typed", {}));
}

} // namespace
