#include "OutboxFixture.h"
#include "mailbridge/TransferMonitor.h"

#include <QProcess>
#include <QSet>

namespace {

using OutboxOrderTest = OutboxFixture;

TEST_F(OutboxOrderTest, NamesSortInTheOrderMessagesWereSent)
{
    const QString attachment = writeRandomFile("small", 100);
    QStringList subjects;
    for (int i = 0; i < 50; ++i) {
        subjects << QStringLiteral("message %1").arg(i, 2, 10, QLatin1Char('0'));
        Draft draft;
        draft.subject = subjects.back();
        draft.attachmentPaths << attachment;
        outbox.file(draft, TransferMonitor::none());
    }
    // The subjects go in the reverse order to the names' digits, so only the names can
    // have put them in order.
    std::reverse(subjects.begin(), subjects.end());
    QStringList sentSubjects;
    for (const QString &path : filesIn("new"))
        sentSubjects.prepend(parseMessageFile(path).subject);
    EXPECT_EQ(sentSubjects, subjects);
}

TEST_F(OutboxOrderTest, TwoProcessesSendingAtOnceLoseNothing)
{
    constexpr int perProcess = 100;
    const QString attachment = writeRandomFile("payload.bin", 20'000);
    QProcess senders[2];
    for (int i : {0, 1})
        senders[i].start(OUTBOX_SENDER, {outboxPath, QString::number(perProcess),
                                         i ? "second" : "first", attachment});
    for (QProcess &process : senders) {
        ASSERT_TRUE(process.waitForFinished(100'000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    const QStringList sent = filesIn("new");
    ASSERT_EQ(sent.size(), 2 * perProcess);
    EXPECT_TRUE(filesIn("tmp").isEmpty());
    QSet<QString> subjects;
    const QByteArray payload = fileBytes(attachment);
    for (const QString &path : sent) {
        const ParsedMessage message = parseMessageFile(path);
        subjects.insert(message.subject);
        ASSERT_EQ(message.attachments.size(), 1u) << path;
        ASSERT_TRUE(message.attachments[0].bytes == payload) << path;
    }
    EXPECT_EQ(subjects.size(), 2 * perProcess);
    EXPECT_TRUE(subjects.contains("first 99") && subjects.contains("second 0"));
}

} // namespace
