#include "ParsedMessage.h"
#include "RecipientCheck.h"
#include "batch/PreparedSend.h"
#include "common/FileNameCodec.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/ComposedMessageRules.h"
#include "mailbridge/compose/ManifestText.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "settings/ManifestSetting.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// A file whose name is the given bytes, which need not be UTF-8.
void writeRawNamedFile(const QString &folder, const QByteArray &name, const QByteArray &bytes)
{
    writeFile(folder + '/' + decodeFileName(name), bytes);
}

class ManifestTest : public testing::Test
{
protected:
    ManifestTest() { QDir().mkpath(sources); }

    // Every file of the sources folder ticked, in the list's order.
    PreparedSend prepare(const QString &sizeKilobytes, bool manifest = true)
    {
        SendRequest request;
        request.folder = sources;
        QStringList names = LocalFileSystem().FileNames(sources);
        names.sort();
        for (const QString &name : names)
            request.entries.push_back(FileLine{name, true});
        request.sizeText = sizeKilobytes;
        request.recipient = QStringLiteral("ann@example.org");
        request.sender = QStringLiteral("me@example.org");
        request.subjectPrefix = QStringLiteral("Scans: ");
        request.manifest = manifest;
        return prepareSend(request, files, composedMessageRules());
    }

    // Files every draft, checking that each message is as large as sizing said; returns the
    // messages' paths in order.
    QStringList fileAll(const std::vector<Draft> &drafts)
    {
        MaildirOutbox outbox(outboxFolder);
        QStringList paths;
        for (const Draft &draft : drafts) {
            const QStringList before = QDir(outboxFolder + "/new").entryList(QDir::Files);
            const std::uint64_t size = outbox.storedSize(draft);
            outbox.file(draft, TransferMonitor::none());
            QStringList now = QDir(outboxFolder + "/new").entryList(QDir::Files);
            for (const QString &name : before)
                now.removeOne(name);
            EXPECT_EQ(now.size(), 1);
            const QString path = outboxFolder + "/new/" + now.value(0);
            EXPECT_EQ(std::uint64_t(QFileInfo(path).size()), size) << draft.subject;
            paths << path;
        }
        return paths;
    }

    QTemporaryDir temp;
    const QString sources = temp.filePath("sources");
    const QString outboxFolder = temp.filePath("outbox");
    LocalFileSystem files;
};

TEST(ManifestText, ChecksumLinesAreWhatSha256sumWrites)
{
    QTemporaryDir temp;
    const QStringList names = {"plain.txt", "line\nbreak",     "back\\slash",    "carriage\rreturn",
                               "tab\there", "Zoë's ärger.txt", "both\\and\nmore"};
    for (qsizetype i = 0; i < names.size(); ++i)
        writeFile(temp.filePath(names[i]), randomBytes(100 + i, quint32(i)));
    QProcess sha256sum;
    sha256sum.setWorkingDirectory(temp.path());
    sha256sum.start("sha256sum", QStringList{"--"} + names);
    ASSERT_TRUE(sha256sum.waitForFinished(30'000));
    ASSERT_EQ(sha256sum.exitCode(), 0);
    QByteArray ours;
    for (const QString &name : names)
        ours += checksumLine(sha256Hex(fileBytes(temp.filePath(name))), name);
    EXPECT_EQ(ours, sha256sum.readAllStandardOutput());
    EXPECT_EQ(ours.count('\n'), names.size()) << "one line each";
    EXPECT_EQ(sha256sumCheck(temp.path(), ours).exitCode, 0);
}

TEST(ManifestText, SaysWhichMessageOfWhichBatchWhenAndWhatItHolds)
{
    BatchManifest manifest;
    manifest.message = 2;
    manifest.messageCount = 12;
    manifest.subjectPrefix = QStringLiteral("Scans\n: ");
    manifest.date = QDateTime(QDate(2026, 12, 9), QTime(23, 57, 14), QTimeZone(3600 + 1800));
    manifest.fileCount = 3;
    manifest.files = {{"a.pdf", 1}, {"b\tc.pdf", 2}, {"empty", 12}};
    Attachment b;
    b.fileName = QStringLiteral("b\tc.pdf");
    b.identity.size = 1234567;
    Attachment empty;
    empty.fileName = QStringLiteral("empty");
    const QString text = manifestText(manifest, {b, empty});
    const QStringList lines = text.split('\n');
    EXPECT_EQ(lines[0], "Message 2 of 12");
    EXPECT_EQ(lines[2], "The batch \"Scans\\n: \", sent 2026-12-09 23:57:14 +01:30.");
    EXPECT_TRUE(text.contains("This message carries 2 of the batch's 3 files:\n"
                              "  b\\tc.pdf  1,234,567 bytes\n"
                              "  empty  0 bytes\n"))
        << text;
    EXPECT_TRUE(text.contains("The SHA-256 checksums of these files are in this message's last "
                              "part,\nchecksums-2-of-12.sha256. Save it with the files and check "
                              "them with:\n  sha256sum -c checksums-2-of-12.sha256\n"))
        << text;
    EXPECT_TRUE(text.endsWith("All 3 files of the batch, each after the number of its message:\n"
                              "   1  a.pdf\n"
                              "   2  b\\tc.pdf\n"
                              "  12  empty\n"))
        << text;
    EXPECT_EQ(checksumFileName(manifest), "checksums-2-of-12.sha256");

    // Too many files to list: each message names its own, and says so.
    manifest.subjectPrefix.clear();
    manifest.date = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(-5 * 3600));
    manifest.fileCount = 201;
    manifest.files.clear();
    const QString large = manifestText(manifest, {b});
    EXPECT_TRUE(large.startsWith("Message 2 of 12\n\nA batch sent 2026-01-02 03:04:05 -05:00.\n"))
        << large;
    EXPECT_TRUE(large.contains("The SHA-256 checksum of this file is in")) << large;
    EXPECT_TRUE(large.endsWith("The batch has 201 files, too many to list here: each message\n"
                               "lists its own.\n"))
        << large;
}

TEST(ManifestSetting, OnUnlessTheSettingsSayOff)
{
    MemorySettingsStore settings;
    EXPECT_TRUE(manifestWanted(settings));
    for (const char *off : {"false", "False", "no", "off", "0", " false "}) {
        settings.values["Settings/Manifest"] = off;
        EXPECT_FALSE(manifestWanted(settings)) << off;
    }
    for (const char *on : {"true", "1", "yes", ""}) {
        settings.values["Settings/Manifest"] = on;
        EXPECT_TRUE(manifestWanted(settings)) << on;
    }
}

// Names a recipient's shell and sha256sum find hard, an empty file, and a name longer than a
// plain text line: every message still checks out with sha256sum -c, and its body is first.
TEST_F(ManifestTest, TheRecipientChecksEveryFileWithSha256sum)
{
    const QByteArray notUtf8 = "caf\xe9 \xff.bin";
    const QList<QPair<QString, QByteArray>> made = {
        {"a-empty", QByteArray()},
        {"b-line\nbreak.txt", randomBytes(5000, 1)},
        {"c-back\\slash", randomBytes(70'000, 2)},
        {"d-" + QString(90, QChar(0x00fc)) + ".txt", randomBytes(1, 3)},
        {"e-tab\there", randomBytes(3 * 57 + 1, 4)},
    };
    for (const auto &[name, bytes] : made)
        writeFile(sources + '/' + name, bytes);
    const QByteArray notUtf8Bytes = randomBytes(2000, 5);
    writeRawNamedFile(sources, "f-" + notUtf8, notUtf8Bytes);

    const PreparedSend send = prepare("60");
    const std::vector<Draft> drafts = draftsOf(send);
    ASSERT_EQ(drafts.size(), 2u) << "c-back\\slash closes the first message";
    const QStringList messages = fileAll(drafts);

    QByteArray allChecksums;
    for (qsizetype m = 0; m < messages.size(); ++m) {
        SCOPED_TRACE(m);
        const ParsedMessage parsed = parseMessageFile(messages[m]);
        EXPECT_EQ(parsed.subject, drafts[std::size_t(m)].subject) << "the subject is as before";
        EXPECT_TRUE(parsed.bodyText.startsWith(
            QStringLiteral("Message %1 of 2\n\nThe batch \"Scans: \", sent ").arg(m + 1)))
            << parsed.bodyText;
        // Every file of the batch, with its message, in every message.
        EXPECT_TRUE(parsed.bodyText.contains("All 6 files of the batch"));
        EXPECT_TRUE(parsed.bodyText.contains("  1  b-line\\nbreak.txt\n"));
        EXPECT_TRUE(parsed.bodyText.contains("  2  f-caf\uFFFD \uFFFD.bin\n"));
        EXPECT_TRUE(parsed.bodyText.contains("  a-empty  0 bytes\n") == (m == 0));

        const QString saved = temp.filePath(QStringLiteral("recipient%1").arg(m));
        QDir().mkpath(saved);
        const QJsonObject seen = readAsRecipient(messages[m], saved);
        EXPECT_TRUE(seen["defects"].toArray().isEmpty())
            << QJsonDocument(seen).toJson().toStdString();
        EXPECT_TRUE(seen["bodyIsFirstPart"].toBool()) << "Python finds the same body first";
        EXPECT_EQ(seen["body"].toString(), parsed.bodyText);

        // Every line sha256sum's own, and right for the files as the recipient saved them.
        const QByteArray &checksums = parsed.checksums;
        EXPECT_EQ(checksums.count('\n'), qsizetype(parsed.attachments.size()));
        const Checked checked = sha256sumCheck(saved, checksums);
        EXPECT_EQ(checked.exitCode, 0) << checked.output;
        EXPECT_EQ(checked.output.count(": OK\n"), qsizetype(parsed.attachments.size()))
            << checked.output;
        for (const ParsedAttachment &attachment : parsed.attachments)
            EXPECT_TRUE(fileBytes(saved + '/' + attachment.fileName) == attachment.bytes);
        allChecksums += checksums;
    }
    EXPECT_TRUE(allChecksums.contains("\\" + sha256Hex(made[1].second) + "  b-line\\nbreak.txt\n"))
        << allChecksums.toStdString();
    EXPECT_TRUE(allChecksums.startsWith(sha256Hex(QByteArray()) + "  a-empty\n"));
    EXPECT_TRUE(
        allChecksums.contains(sha256Hex(notUtf8Bytes) + "  f-caf\xef\xbf\xbd \xef\xbf\xbd.bin"))
        << "the name the recipient's attachment has";
    // The files as the sender has them check out too, but for the name that is no UTF-8.
    const QByteArray sendersOwn =
        allChecksums.left(allChecksums.indexOf("\n" + sha256Hex(notUtf8Bytes)) + 1);
    const Checked original = sha256sumCheck(sources, sendersOwn);
    EXPECT_EQ(original.exitCode, 0) << original.output;
    EXPECT_EQ(original.output.count(": OK\n"), 5) << original.output;
}

TEST_F(ManifestTest, ABatchTooLargeToListNamesEachMessagesOwnFiles)
{
    for (int i = 0; i < 250; ++i)
        writeFile(sources + QStringLiteral("/file-%1.bin").arg(i, 3, 10, QLatin1Char('0')),
                  randomBytes(1000 + 37 * i, quint32(i)));
    const PreparedSend send = prepare("100");
    const std::vector<Draft> drafts = draftsOf(send);
    ASSERT_GT(drafts.size(), 10u);
    const QStringList messages = fileAll(drafts);
    qsizetype checkedFiles = 0;
    for (qsizetype m = 0; m < messages.size(); ++m) {
        SCOPED_TRACE(m);
        const ParsedMessage parsed = parseMessageFile(messages[m]);
        EXPECT_TRUE(parsed.bodyText.startsWith(
            QStringLiteral("Message %1 of %2\n").arg(m + 1).arg(drafts.size())));
        EXPECT_TRUE(parsed.bodyText.endsWith("The batch has 250 files, too many to list here: "
                                             "each message\nlists its own.\n"))
            << parsed.bodyText;
        const QByteArray raw = fileBytes(messages[m]);
        EXPECT_TRUE(raw.contains("Content-Transfer-Encoding: 7bit\n"
                                 "Content-Disposition: inline\n"))
            << "plain names and short lines need no encoding";
        for (const ParsedAttachment &attachment : parsed.attachments)
            EXPECT_TRUE(parsed.bodyText.contains("  " + attachment.fileName + "  "));
        // Against the sender's own files, straight from the message.
        const Checked checked = sha256sumCheck(sources, parsed.checksums);
        EXPECT_EQ(checked.exitCode, 0) << checked.output;
        EXPECT_EQ(checked.output.count(": OK\n"), qsizetype(parsed.attachments.size()));
        checkedFiles += qsizetype(parsed.attachments.size());
    }
    EXPECT_EQ(checkedFiles, 250);
}

TEST_F(ManifestTest, TurnedOffTheMessagesCarryTheirFilesAlone)
{
    writeFile(sources + "/a", randomBytes(3000, 1));
    writeFile(sources + "/b", randomBytes(3000, 2));
    const std::vector<Draft> with = draftsOf(prepare("2"));
    const std::vector<Draft> without = draftsOf(prepare("2", false));
    ASSERT_EQ(without.size(), 2u);
    for (std::size_t i = 0; i < without.size(); ++i) {
        EXPECT_FALSE(without[i].manifest.has_value());
        EXPECT_EQ(without[i].subject, with[i].subject);
    }
    const QStringList messages = fileAll(without);
    const ParsedMessage parsed = parseMessageFile(messages[0]);
    EXPECT_TRUE(parsed.bodyText.isEmpty());
    EXPECT_TRUE(parsed.checksums.isEmpty());
    ASSERT_EQ(parsed.attachments.size(), 1u);
    EXPECT_EQ(parsed.attachments[0].fileName, "a");
    const QByteArray raw = fileBytes(messages[0]);
    EXPECT_EQ(raw.count("Content-Type:"), 2) << "the multipart and the file, nothing else";
}

// A message that states a file's size and checksum must carry that very file: one replaced
// between sizing and reading fails the message instead of going with wrong figures.
TEST_F(ManifestTest, AFileReplacedAfterSizingFailsTheMessage)
{
    const QString path = writeFile(sources + "/report.bin", randomBytes(100'000, 1));
    const std::vector<Draft> drafts = draftsOf(prepare("1000"));
    ASSERT_EQ(drafts.size(), 1u);
    MessageContent content;
    content.to = drafts[0].to;
    content.from = drafts[0].from;
    content.subject = drafts[0].subject;
    content.manifest = drafts[0].manifest;
    content.attachments.push_back(inspectAttachment(path));
    const std::uint64_t sized = composedSize(content);

    const QString other = writeFile(temp.filePath("new-version"), randomBytes(70'000, 2));
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()),
              0);
    EXPECT_EQ(composedSize(content), sized) << "the size of the message as it was planned";
    const QString target = temp.filePath("message");
    const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const QString failure =
        failureOf([&] { writeMessage(content, fd, target, TransferMonitor::none()); });
    ::close(fd);
    EXPECT_TRUE(failure.contains("changed while being sent")) << failure;
    const QString streamed = failureOf([&] {
        streamMessage(content, LineEnding::CrLf, TransferMonitor::none(),
                      [](const char *, std::size_t) {});
    });
    EXPECT_TRUE(streamed.contains("changed while being sent")) << streamed;
}

} // namespace
