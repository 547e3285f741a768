#include "OutboxFixture.h"
#include "ParsedMessage.h"

#include "common/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <sys/stat.h>

namespace {

using MaildirOutboxTest = OutboxFixture;

// Sends one message and returns it as parsed back from new/.
ParsedMessage sendOne(MailApplication &outbox, const QString &outboxPath, const QString &subject,
                      const QStringList &attachments,
                      const QString &to = QStringLiteral("to@x.org"),
                      const QString &from = QStringLiteral("from@y.org"))
{
    const QDir sentFolder(outboxPath + QStringLiteral("/new"));
    const QStringList before = sentFolder.entryList(QDir::Files);
    auto item = outbox.CreateItem();
    item->setSubject(subject);
    item->setTo(to);
    item->setFrom(from);
    item->setDeleteAfterSubmit(true);
    for (const QString &path : attachments)
        item->addAttachment(path);
    item->Send();
    QStringList added = sentFolder.entryList(QDir::Files);
    for (const QString &name : before)
        added.removeOne(name);
    EXPECT_EQ(added.size(), 1);
    return parseMessageFile(sentFolder.filePath(added.value(0)));
}

mode_t modeOf(const QString &path)
{
    struct stat status = {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode & 07777;
}

TEST(MaildirOutboxFolder, CreatesTheFolderTreePrivately)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("deep/er/Outbox"));
    const MaildirOutbox outbox(folder);
    for (const char *sub : {"", "/tmp", "/new", "/cur"})
        EXPECT_EQ(modeOf(folder + QLatin1String(sub)), 0700u) << sub;
    EXPECT_EQ(modeOf(dir.filePath(QStringLiteral("deep"))), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0750), 0);
    const MaildirOutbox again(folder);
    EXPECT_EQ(modeOf(folder), 0750u) << "an existing folder is left as it is";
}

TEST(MaildirOutboxFolder, FailsNamingTheFolderItCannotCreate)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain"));
    QFile(file).open(QIODevice::WriteOnly);
    for (const QString &folder : {file, file + QStringLiteral("/Outbox")}) {
        try {
            MaildirOutbox outbox(folder);
            ADD_FAILURE() << "no failure for " << folder.toStdString();
        } catch (const Failure &failure) {
            EXPECT_TRUE(failure.description().contains(file)) << failure.what();
            EXPECT_TRUE(failure.description().contains(QStringLiteral("Not a directory")))
                << failure.what();
        }
    }

    const QString outbox = dir.filePath(QStringLiteral("Outbox"));
    QDir().mkpath(outbox);
    QFile(outbox + QStringLiteral("/new")).open(QIODevice::WriteOnly);
    EXPECT_THROW(MaildirOutbox{outbox}, Failure) << "new/ must be a folder";
}

TEST_F(MaildirOutboxTest, AttachmentsComeBackByteForByteInOrder)
{
    const QList<qsizetype> sizes = {0, 1, 2, 3, 56, 57, 58, 5 * 1024 + 3, 3 * 1024 * 1024 + 1};
    QStringList paths;
    for (const qsizetype size : sizes)
        paths << writeRandomFile(QStringLiteral("file-%1.bin").arg(size), size);
    // The order added, not the order of names or sizes.
    std::swap(paths[0], paths[5]);

    const ParsedMessage message = sendOne(outbox, outboxPath, QStringLiteral("files"), paths);
    ASSERT_EQ(message.bodyType, QStringLiteral("multipart/mixed"));
    ASSERT_EQ(message.attachments.size(), std::size_t(paths.size()));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const ParsedAttachment &part = message.attachments[std::size_t(i)];
        EXPECT_EQ(part.fileName, QFileInfo(paths[i]).fileName());
        EXPECT_EQ(part.disposition, QStringLiteral("attachment"));
        EXPECT_EQ(part.transferEncoding, QStringLiteral("base64"));
        EXPECT_TRUE(part.bytes == fileBytes(paths[i])) << paths[i].toStdString();
    }
    EXPECT_EQ(filesIn(QStringLiteral("new")).size(), 1);
    EXPECT_TRUE(filesIn(QStringLiteral("tmp")).isEmpty());
}

TEST_F(MaildirOutboxTest, HeadersCarryTheItemsTextsExactly)
{
    const QString longSubject =
        QString(QStringLiteral("Zürich 日本 ")).repeated(30) + QStringLiteral("end");
    ASSERT_GE(longSubject.size(), 300);
    const QString asciiLong = QString(QStringLiteral("word ")).repeated(60) + QStringLiteral("x");
    for (const QString &subject :
         {QStringLiteral("Plain"), QStringLiteral("Café, naïve, Grüße — 日本語 🚀"), longSubject,
          asciiLong}) {
        auto item = outbox.CreateItem();
        item->setSubject(subject);
        EXPECT_EQ(item->Subject(), subject);
        const ParsedMessage message = sendOne(outbox, outboxPath, subject, {});
        EXPECT_EQ(message.subject, subject);
    }

    const ParsedMessage message =
        sendOne(outbox, outboxPath, QStringLiteral("s"), {},
                QStringLiteral("Jane Doe <jane@x.org>; bob@y.org, \"Last, First\" <lf@z.org>"),
                QStringLiteral("José Müller <jm@x.org>"));
    EXPECT_EQ(message.to,
              QStringList({"Jane Doe <jane@x.org>", "bob@y.org", "\"Last, First\" <lf@z.org>"}));
    EXPECT_EQ(message.from, QStringList({"José Müller <jm@x.org>"}));
    EXPECT_TRUE(message.hasDate);
    EXPECT_EQ(message.mimeVersion, QStringLiteral("1.0"));
    EXPECT_TRUE(message.messageId.endsWith(QLatin1Char('@') + QSysInfo::machineHostName()))
        << message.messageId.toStdString();
}

TEST_F(MaildirOutboxTest, AMessageWithoutAttachmentsHasAnEmptyTextBody)
{
    const ParsedMessage message = sendOne(outbox, outboxPath, QStringLiteral("nothing"), {});
    EXPECT_EQ(message.bodyType, QStringLiteral("text/plain"));
    EXPECT_TRUE(message.bodyText.isEmpty());
    EXPECT_TRUE(message.attachments.empty());
}

TEST_F(MaildirOutboxTest, FileNamesSurviveSpacesAccentsScriptsAndLineBreaks)
{
    const QStringList names = {
        QStringLiteral("with spaces.txt"),   QStringLiteral("café über.pdf"),
        QStringLiteral("日本の報告.docx"),   QStringLiteral("quote\"semi;colon.txt"),
        QStringLiteral("line\r\nbreak.txt"), QStringLiteral("%41 percent=3D.txt"),
    };
    QStringList paths;
    for (const QString &name : names)
        paths << writeFile(name, name.toUtf8());
    const ParsedMessage message = sendOne(outbox, outboxPath, QStringLiteral("names"), paths);
    ASSERT_EQ(message.attachments.size(), std::size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(message.attachments[std::size_t(i)].fileName, names[i]);
        EXPECT_EQ(message.attachments[std::size_t(i)].bytes, names[i].toUtf8());
    }
}

TEST_F(MaildirOutboxTest, GuessesContentTypesFromNameAndContent)
{
    const QByteArray png =
        QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + randomBytes(100, 1);
    const QStringList paths = {
        writeFile(QStringLiteral("picture.png"), png),
        writeFile(QStringLiteral("notes.txt"), "Just some words.\n"),
        writeFile(QStringLiteral("no-extension"), "%PDF-1.4\n" + randomBytes(200, 2)),
        writeFile(QStringLiteral("blob.bin"), randomBytes(300, 3)),
    };
    const ParsedMessage message = sendOne(outbox, outboxPath, QStringLiteral("types"), paths);
    ASSERT_EQ(message.attachments.size(), 4u);
    EXPECT_EQ(message.attachments[0].contentType, QStringLiteral("image/png"));
    EXPECT_EQ(message.attachments[1].contentType, QStringLiteral("text/plain"));
    EXPECT_EQ(message.attachments[2].contentType, QStringLiteral("application/pdf"));
    EXPECT_EQ(message.attachments[3].contentType, QStringLiteral("application/octet-stream"));
}

TEST_F(MaildirOutboxTest, SendsAFileReplacedAfterItWasAddedWhole)
{
    const QString path = writeRandomFile(QStringLiteral("report.bin"), 100'000);
    auto item = outbox.CreateItem();
    item->addAttachment(path);
    const QByteArray replacement = randomBytes(70'000, 9);
    const QString other = writeFile(QStringLiteral("new-version"), replacement);
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()),
              0);
    item->Send();
    const ParsedMessage message = parseMessageFile(filesIn(QStringLiteral("new")).value(0));
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_TRUE(message.attachments[0].bytes == replacement);
}

} // namespace
