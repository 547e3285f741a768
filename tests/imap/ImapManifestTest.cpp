#include "ImapServerFixture.h"
#include "batch/BatchSender.h"
#include "batch/PreparedSend.h"
#include "batch/SendProgress.h"
#include "common/CancelToken.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/ParsedMessage.h"
#include "mailbridge/RecipientCheck.h"
#include "mailbridge/compose/ComposedMessageRules.h"
#include "mailbridge/imap/ImapOutbox.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

using ImapManifestTest = ImapServerFixture;

// The drafts go over the wire in the order they are read, their size announced before the
// first file is opened: the server stores exactly that many bytes, and what it gives back
// opens with the batch's text and checks out with sha256sum.
TEST_F(ImapManifestTest, TheServerStoresTheSizedDraftsAndTheyCheckOut)
{
    const QString sources = dir.filePath("sources");
    ASSERT_TRUE(QDir().mkpath(sources));
    writeFile(sources + "/a.bin", randomBytes(300'000, 1));
    writeFile(sources + "/b empty", QByteArray());
    writeFile(sources + "/c-line\nbreak", randomBytes(5000, 2));
    writeFile(sources + "/d-\u00fcber.bin", randomBytes(2 * 1024 * 1024 + 3, 3));

    SendRequest request;
    request.folder = sources;
    for (const char *name : {"a.bin", "b empty", "c-line\nbreak", "d-\u00fcber.bin"})
        request.entries.push_back(FileLine{QString::fromUtf8(name), true});
    request.sizeText = QStringLiteral("200");
    request.recipient = QStringLiteral("someone@example.org");
    request.sender = QStringLiteral("Me <me@example.org>");
    request.subjectPrefix = QStringLiteral("Über: ");
    const PreparedSend prepared = prepareSend(request, LocalFileSystem(), composedMessageRules());
    const std::vector<Draft> drafts = draftsOf(prepared);
    ASSERT_EQ(drafts.size(), 2u);

    ImapOutbox outbox(endpoint(), QString(DovecotServer::password));
    const CancelToken never;
    sendBatch(prepared, outbox, SendProgress::none(), never);

    const auto stored = reader().messages(DovecotServer::draftsFolder);
    ASSERT_EQ(stored.size(), 2u);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::uint64_t(stored[i].bytes.size()), outbox.storedSize(drafts[i]));
        const QString copy =
            writeFile(dir.filePath(QStringLiteral("stored%1.eml").arg(i)), stored[i].bytes);
        const ParsedMessage parsed = parseMessageFile(copy);
        EXPECT_EQ(parsed.subject, drafts[i].subject);
        EXPECT_TRUE(parsed.bodyText.startsWith(
            QStringLiteral("Message %1 of 2\r\n\r\nThe batch \"Über: \", sent ").arg(i + 1)))
            << parsed.bodyText;

        const QString saved = dir.filePath(QStringLiteral("recipient%1").arg(i));
        ASSERT_TRUE(QDir().mkpath(saved));
        const QJsonObject seen = readAsRecipient(copy, saved);
        EXPECT_TRUE(seen["defects"].toArray().isEmpty())
            << QJsonDocument(seen).toJson().toStdString();
        EXPECT_TRUE(seen["bodyIsFirstPart"].toBool());
        // Over the wire every line ends in CRLF, the list's too; a saved part has LF again.
        QByteArray checksums = parsed.checksums;
        checksums.replace("\r\n", "\n");
        const Checked checked = sha256sumCheck(saved, checksums);
        EXPECT_EQ(checked.exitCode, 0) << checked.output;
        EXPECT_EQ(checked.output.count(": OK\n"), qsizetype(parsed.attachments.size()));
        for (const ParsedAttachment &attachment : parsed.attachments)
            EXPECT_TRUE(attachment.bytes == fileBytes(sources + '/' + attachment.fileName));
    }
}

} // namespace
