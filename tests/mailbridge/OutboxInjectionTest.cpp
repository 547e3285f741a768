#include "OutboxFixture.h"
#include "mailbridge/TransferMonitor.h"

#include <QRegularExpression>

namespace {

using OutboxInjectionTest = OutboxFixture;

// Every header line of the message and of its parts: a header of ours, or a folded
// continuation. Base64 bodies and boundaries are left out.
QList<QByteArray> allHeaderLines(const QByteArray &raw)
{
    QList<QByteArray> lines;
    bool inHeader = true;
    for (const QByteArray &line : raw.split('\n')) {
        if (inHeader && line.isEmpty())
            inHeader = false;
        else if (inHeader)
            lines << line;
        else if (line.startsWith("--"))
            inHeader = !line.endsWith("--");
    }
    return lines;
}

TEST_F(OutboxInjectionTest, UserTextNeverStartsAHeaderLineOfItsOwn)
{
    const QString recipient = "a@b.c\r\nBcc: evil@x";
    const QString sender = "Me <me@x.org>\r\nX-Evil: 1";
    const QString subject = "Hello\r\nBcc: evil@x\nX-Evil: 2\rX-Evil: 3\x01\x1b end";
    const QString fileName = "report\r\nBcc: evil@x.txt";
    Draft draft;
    draft.to = recipient;
    draft.from = sender;
    draft.subject = subject;
    draft.attachmentPaths << writeFile(fileName, "content");
    outbox.file(draft, TransferMonitor::none());

    const ParsedMessage message = firstSent();
    for (const char byte : message.raw)
        ASSERT_TRUE(byte == '\n' || byte == '\t' || (byte >= 0x20 && byte != 0x7f))
            << "raw control character " << int(byte);

    static const QRegularExpression ours(
        QStringLiteral("^(From|To|Subject|Date|Message-Id|MIME-Version|Content-Type|"
                       "Content-Disposition|Content-Transfer-Encoding):( |$)"));
    const QList<QByteArray> lines = allHeaderLines(message.raw);
    ASSERT_GT(lines.size(), 8);
    for (const QByteArray &line : lines)
        EXPECT_TRUE(line.startsWith(' ') || line.startsWith('\t') ||
                    ours.match(QString::fromLatin1(line)).hasMatch())
            << "unexpected header line: " << line.toStdString();

    EXPECT_EQ(message.subject, subject);
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].fileName, fileName);
    EXPECT_EQ(message.attachments[0].bytes, "content");
    EXPECT_EQ(message.to.value(0), "a@b.c");
    EXPECT_FALSE(message.raw.contains("\nBcc:"));
    EXPECT_EQ(message.from.value(0), "Me <me@x.org>");
}

TEST_F(OutboxInjectionTest, TextThatIsNoAddressStillGivesAValidHeader)
{
    Draft draft;
    draft.to = "friends <<<>>>\x01\nCc: x@y";
    draft.from = "\"unclosed quote <a@b.c>";
    outbox.file(draft, TransferMonitor::none());
    const ParsedMessage message = firstSent();
    EXPECT_FALSE(message.to.isEmpty());
    EXPECT_FALSE(message.from.isEmpty());
    for (const QByteArray &line : headerLines(message.raw))
        EXPECT_FALSE(line.startsWith("Cc:")) << line.toStdString();
}

} // namespace
