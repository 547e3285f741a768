#include "ImapServerFixture.h"
#include "mailbridge/ParsedMessage.h"
#include "mailbridge/imap/ImapOutbox.h"

namespace {

class ImapOutboxTest : public ImapServerFixture
{
};

TEST_F(ImapOutboxTest, DraftsComeBackWholeFlaggedAndInOrder)
{
    const QStringList first = {randomFile("a.bin", 300000), randomFile("b.txt", 17)};
    const QStringList second = {};
    const QStringList third = {randomFile("c.bin", 2 * 1024 * 1024 + 3)};
    ImapOutbox outbox(endpoint(), QString(DovecotServer::password));
    send(outbox, "one", first);
    send(outbox, "two", second);
    send(outbox, "three", third);

    const auto stored = reader().messages(DovecotServer::draftsFolder);
    ASSERT_EQ(stored.size(), 3u);
    const QList<QStringList> sources = {first, second, third};
    const QStringList subjects = {"one", "two", "three"};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(subjects[qsizetype(i)].toStdString());
        EXPECT_TRUE(stored[i].flags.contains("\\Draft")) << stored[i].flags.join(' ');
        EXPECT_TRUE(stored[i].flags.contains("\\Seen")) << stored[i].flags.join(' ');
        const QString copy = writeFile(dir.filePath(QStringLiteral("stored%1.eml").arg(i)),
                                       stored[i].bytes);
        const ParsedMessage parsed = parseMessageFile(copy);
        EXPECT_EQ(parsed.subject, subjects[qsizetype(i)]);
        const QStringList &files = sources[qsizetype(i)];
        ASSERT_EQ(parsed.attachments.size(), std::size_t(files.size()));
        for (qsizetype k = 0; k < files.size(); ++k)
            EXPECT_TRUE(parsed.attachments[std::size_t(k)].bytes == fileBytes(files[k]))
                << files[k].toStdString();
    }
    EXPECT_TRUE(reader().subscribedFolders().contains(DovecotServer::draftsFolder));
}

} // namespace
