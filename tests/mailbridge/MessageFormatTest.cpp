#include "OutboxFixture.h"
#include "mailbridge/TransferMonitor.h"

#include "mailbridge/compose/Attachment.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace {

using MessageFormatTest = OutboxFixture;

// The message as Python's email package reads it (read_message.py).
QJsonObject readWithPython(const QString &path)
{
    QProcess python;
    python.start("python3", {READ_MESSAGE_SCRIPT, path});
    EXPECT_TRUE(python.waitForFinished(30'000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

TEST(AttachedType, MessagesAndMultipartsGoAsPlainBytes)
{
    for (const char *type : {"message/rfc822", "message/news", "message/x-gnu-rmail",
                             "message/partial", "multipart/mixed", "multipart/related"})
        EXPECT_EQ(attachedType(type), "application/octet-stream") << type;
    for (const char *type : {"text/plain", "application/pdf", "image/png", "text/x-message"})
        EXPECT_EQ(attachedType(type), type);
}

TEST_F(MessageFormatTest, MailFilesArriveWholeAsOctetStreams)
{
    const QByteArray mail = "From: a@b.example\nSubject: old\n\nHello\n";
    const std::vector<std::pair<QString, QByteArray>> files = {
        {"old.eml", mail},
        {"article", "Path: news.example!not-for-mail\nFrom: x@y.example\n\nText\n"},
        {"RMAIL", "BABYL OPTIONS:\n" + mail},
        {"forwarded", mail},
    };
    Draft draft;
    for (const auto &[name, bytes] : files) {
        const QString path = writeFile(name, bytes);
        ASSERT_TRUE(
            QMimeDatabase().mimeTypeForFileNameAndData(name, bytes).name().startsWith("message/"))
            << "not a case of the rule: " << name;
        draft.attachmentPaths << path;
    }
    outbox.file(draft, TransferMonitor::none());
    const ParsedMessage message = firstSent();
    ASSERT_EQ(message.attachments.size(), files.size());
    const QJsonObject python = readWithPython(filesIn("new").value(0));
    EXPECT_EQ(python["defects"].toArray().size(), 0)
        << QJsonDocument(python).toJson().toStdString();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ParsedAttachment &part = message.attachments[i];
        EXPECT_EQ(part.contentType, "application/octet-stream");
        EXPECT_EQ(part.transferEncoding, "base64");
        EXPECT_EQ(part.fileName, files[i].first);
        EXPECT_TRUE(part.bytes == files[i].second) << files[i].first;
        const QJsonObject seen = python["attachments"].toArray()[int(i)].toObject();
        EXPECT_EQ(seen["type"].toString(), "application/octet-stream");
        EXPECT_EQ(seen["filename"].toString(), files[i].first);
        EXPECT_EQ(seen["sha256"].toString(),
                  QCryptographicHash::hash(files[i].second, QCryptographicHash::Sha256).toHex());
    }
}

TEST_F(MessageFormatTest, TextArrivesExactlyAsTypedAndNamedInUtf8)
{
    const QString subject = "=?utf-8?q?Pay_now?= or =?utf-8?b?cmVwb3J0?= résumé";
    const QStringList names = {"=?utf-8?b?cmVwb3J0LnBkZg==?=", "=?utf-8?q?evil?=.txt", "résumé.pdf",
                               "naïve =? half.txt", "plain.txt"};
    Draft draft;
    draft.subject = subject;
    draft.to = "\"Bob =?utf-8?q?x?=\" <bob@b.example>, =?utf-8?q?Pay_now?= <pay@b.example>, "
               "José Müller <jm@b.example>, =?x@b.example";
    draft.from = "Ülla <u@b.example>";
    for (const QString &name : names)
        draft.attachmentPaths << writeFile(name, name.toUtf8());
    outbox.file(draft, TransferMonitor::none());

    const ParsedMessage message = firstSent();
    EXPECT_EQ(message.subject, subject);
    const QStringList to = {"Bob =?utf-8?q?x?= <bob@b.example>",
                            "=?utf-8?q?Pay_now?= <pay@b.example>", "José Müller <jm@b.example>",
                            "=?x@b.example"};
    EXPECT_EQ(message.to, to);
    ASSERT_EQ(message.attachments.size(), std::size_t(names.size()));
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(message.attachments[i].fileName, names[i]);
    // UTF-8 throughout, never the narrower charsets GMime would pick on its own.
    EXPECT_TRUE(message.raw.contains("filename*=UTF-8''r%C3%A9sum%C3%A9.pdf"))
        << message.raw.left(3000).toStdString();
    EXPECT_FALSE(message.raw.toLower().contains("iso-8859"));
    EXPECT_FALSE(message.raw.contains("=?utf-8?q?evil?=")) << "written as it would be decoded";

    const QJsonObject python = readWithPython(filesIn("new").value(0));
    EXPECT_EQ(python["subject"].toString(), subject);
    const QJsonArray seenTo = python["to"].toArray();
    ASSERT_EQ(seenTo.size(), 4);
    EXPECT_EQ(seenTo[0].toArray()[0].toString(), "Bob =?utf-8?q?x?=");
    EXPECT_EQ(seenTo[1].toArray()[0].toString(), "=?utf-8?q?Pay_now?=");
    EXPECT_EQ(seenTo[2].toArray()[0].toString(), "José Müller");
    EXPECT_EQ(seenTo[3].toArray()[1].toString(), "=?x@b.example");
    EXPECT_EQ(python["from"].toArray()[0].toArray()[0].toString(), "Ülla");
    const QJsonArray seen = python["attachments"].toArray();
    ASSERT_EQ(seen.size(), names.size());
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(seen[i].toObject()["filename"].toString(), names[i]);
}

} // namespace
