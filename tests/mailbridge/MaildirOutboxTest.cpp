#include "OutboxFixture.h"
#include "mailbridge/TransferMonitor.h"

#include <QDir>
#include <QSysInfo>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

class MaildirOutboxTest : public OutboxFixture
{
protected:
    // Sends one message and returns it as parsed back from new/.
    ParsedMessage send(const QString &subject, const QStringList &attachments,
                       const QString &to = "to@x.org", const QString &from = "from@y.org")
    {
        Draft draft;
        draft.subject = subject;
        draft.to = to;
        draft.from = from;
        for (const QString &path : attachments)
            draft.attachmentPaths << path;
        outbox.file(draft, TransferMonitor::none());
        const QStringList sent = filesIn("new"); // names sort in the order sent
        return parseMessageFile(sent.value(sent.size() - 1));
    }
};

mode_t modeOf(const QString &path)
{
    struct stat status = {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST(MaildirOutboxFolder, CreatesTheFolderTreePrivately)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("deep/er/Outbox");
    const MaildirOutbox outbox(folder);
    for (const char *sub : {"", "/tmp", "/new", "/cur"})
        EXPECT_EQ(modeOf(folder + QLatin1String(sub)), 0700u) << sub;
    EXPECT_EQ(modeOf(dir.filePath("deep")), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0750), 0);
    const MaildirOutbox again(folder);
    EXPECT_EQ(modeOf(folder), 0750u) << "an existing folder is left as it is";
}

TEST(MaildirOutboxFolder, FailsNamingTheFolderItCannotCreate)
{
    QTemporaryDir dir;
    const QString file = writeFile(dir.filePath("plain"), "");
    for (const QString &folder : {file, file + "/Outbox"}) {
        const QString failure = failureOf([&] { MaildirOutbox{folder}; });
        EXPECT_TRUE(failure.contains(file)) << failure;
        EXPECT_TRUE(failure.contains("Not a directory")) << failure;
    }

    const QString outbox = dir.filePath("Outbox");
    QDir().mkpath(outbox);
    writeFile(outbox + "/new", "");
    EXPECT_THROW(MaildirOutbox{outbox}, Failure) << "new/ must be a folder";
}

TEST(MaildirOutboxFolder, OpeningRemovesWhatSendersLeftInTmpOver36HoursAgo)
{
    using namespace std::chrono_literals;
    QTemporaryDir dir;
    const QString folder = dir.filePath("Outbox");
    MaildirOutbox{folder};
    struct Entry
    {
        const char *name;
        const char *subfolder;
        std::chrono::seconds age;
        bool isFolder;
        bool removed;
    };
    const Entry entries[] = {
        {"left by a killed sender", "tmp", 36h + 1min, false, true},
        {"weeks old", "tmp", 24h * 21, false, true},
        {"just under the age", "tmp", 36h - 1min, false, false},
        {"being written", "tmp", 0s, false, false},
        {"from a clock ahead", "tmp", -1h, false, false},
        {"an old folder", "tmp", 48h, true, false},
        {"an old message", "new", 48h, false, false},
    };
    const auto now = std::chrono::system_clock::now();
    for (const Entry &entry : entries) {
        const QString path = folder + '/' + entry.subfolder + '/' + entry.name;
        if (entry.isFolder)
            ASSERT_TRUE(QDir().mkdir(path));
        else
            writeFile(path, "part of a message");
        const auto seconds = std::chrono::system_clock::to_time_t(now - entry.age);
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    MaildirOutbox{folder};
    for (const Entry &entry : entries)
        EXPECT_EQ(QFileInfo::exists(folder + '/' + entry.subfolder + '/' + entry.name),
                  !entry.removed)
            << entry.name;
}

TEST_F(MaildirOutboxTest, AttachmentsComeBackWholeNamedAndTypedInTheOrderAdded)
{
    struct File
    {
        QString name;
        QByteArray bytes;
        const char *type = nullptr;
    };
    std::vector<File> files;
    for (const qsizetype size : {0, 1, 2, 3, 56, 57, 58, 5 * 1024 + 3, 3 * 1024 * 1024 + 1})
        files.push_back(
            {QStringLiteral("file-%1.bin").arg(size), randomBytes(size, quint32(size))});
    // The order added, not the order of names or sizes.
    std::swap(files[0], files[5]);
    for (const QString name : {"with spaces.txt", "café über.pdf", "日本の報告.docx",
                               "quote\"semi;colon.txt", "line\r\nbreak.txt", "%41 percent=3D.txt"})
        files.push_back({name, name.toUtf8()});
    // Types come from the name, else from the content.
    const QByteArray pngStart = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    files.push_back({"picture.png", pngStart + randomBytes(100, 1), "image/png"});
    files.push_back({"notes.txt", "Just some words.\n", "text/plain"});
    files.push_back({"no-extension", "%PDF-1.4\n" + randomBytes(200, 2), "application/pdf"});
    files.push_back({"blob.bin", randomBytes(300, 3), "application/octet-stream"});

    QStringList paths;
    for (const File &file : files)
        paths << writeFile(file.name, file.bytes);
    const ParsedMessage message = send("files", paths);
    ASSERT_EQ(message.bodyType, "multipart/mixed");
    ASSERT_EQ(message.attachments.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ParsedAttachment &part = message.attachments[i];
        EXPECT_EQ(part.fileName, files[i].name);
        EXPECT_EQ(part.disposition, "attachment");
        EXPECT_EQ(part.transferEncoding, "base64");
        EXPECT_TRUE(part.bytes == files[i].bytes) << files[i].name;
        EXPECT_TRUE(!files[i].type || part.contentType == files[i].type) << part.contentType;
    }
    EXPECT_EQ(filesIn("new").size(), 1);
    EXPECT_TRUE(filesIn("tmp").isEmpty());
}

TEST_F(MaildirOutboxTest, HeadersCarryTheDraftsTextsExactly)
{
    const QString longSubject = QString("Zürich 日本 ").repeated(30) + "end";
    ASSERT_GE(longSubject.size(), 300);
    for (const QString &subject : {QString("Plain"), QString("Café, naïve, Grüße — 日本語 🚀"),
                                   longSubject, QString("word ").repeated(60) + "x"}) {
        EXPECT_EQ(send(subject, {}).subject, subject);
    }

    const ParsedMessage message =
        send("s", {}, "Jane Doe <jane@x.org>; bob@y.org, \"Last, First\" <lf@z.org>",
             "José Müller <jm@x.org>");
    EXPECT_EQ(message.to,
              QStringList({"Jane Doe <jane@x.org>", "bob@y.org", "\"Last, First\" <lf@z.org>"}));
    EXPECT_EQ(message.from, QStringList({"José Müller <jm@x.org>"}));
    EXPECT_TRUE(message.hasDate);
    EXPECT_EQ(message.mimeVersion, "1.0");
    EXPECT_TRUE(message.messageId.endsWith('@' + QSysInfo::machineHostName())) << message.messageId;
    // Without attachments the body is an empty text.
    EXPECT_EQ(message.bodyType, "text/plain");
    EXPECT_TRUE(message.bodyText.isEmpty());
    EXPECT_TRUE(message.attachments.empty());
}

TEST_F(MaildirOutboxTest, SendsAFileReplacedAfterItWasAddedWhole)
{
    const QString path = writeRandomFile("report.bin", 100'000);
    Draft draft;
    draft.attachmentPaths << path;
    const QByteArray replacement = randomBytes(70'000, 9);
    const QString other = writeFile("new-version", replacement);
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()),
              0);
    outbox.file(draft, TransferMonitor::none());
    const ParsedMessage message = firstSent();
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_TRUE(message.attachments[0].bytes == replacement);
}

} // namespace
