#include "batch/BatchSender.h"

#include "../mailbridge/ParsedMessage.h"
#include "common/FileNameCodec.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListRefresh.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "support/FakeOutbox.h"
#include "support/OpenCounter.h"
#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Files as the folder gives them, listed by the real refresh and sent into a real outbox.
class RealFilesSendTest : public ::testing::Test
{
protected:
    void addFile(const QByteArray &name, const QByteArray &content)
    {
        const QByteArray path = QFile::encodeName(folder) + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0) << path.constData();
        ASSERT_EQ(::write(fd, content.constData(), std::size_t(content.size())), content.size());
        ::close(fd);
    }

    // Lists the folder, ticks the lines whose shown text is given, and sends.
    std::vector<ParsedMessage> send(const QStringList &ticked)
    {
        refreshFileList(folder, files, list);
        SendRequest request{list.folder(), list.lines(),     "750",       "to@example.org",
                            "Files: ",     "me@example.org", list.state()};
        for (FileLine &line : request.entries)
            line.ticked = ticked.contains(displayFileName(line.name));
        MaildirOutbox outbox(temp.filePath("outbox"));
        sendBatch(request, outbox, files);
        std::vector<ParsedMessage> messages;
        for (const QString &name : QDir(temp.filePath("outbox/new")).entryList(QDir::Files))
            messages.push_back(parseMessageFile(temp.filePath("outbox/new/" + name)));
        return messages;
    }

    QTemporaryDir temp;
    const QString folder = temp.filePath("files");
    LocalFileSystem files;
    FileListModel list;

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder)); }
};

TEST_F(RealFilesSendTest, ANameThatIsNotUtf8ArrivesWholeUnderItsShownName)
{
    const QByteArray content = randomBytes(70000, 8);
    addFile("b\xff\xfe.bin", content);
    const QString shown = QString::fromUtf8("b\uFFFD\uFFFD.bin");

    const auto messages = send({shown});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].subject, "Files: " + shown);
    ASSERT_EQ(messages[0].attachments.size(), 1u);
    EXPECT_EQ(messages[0].attachments[0].fileName, shown);
    EXPECT_EQ(messages[0].attachments[0].bytes, content);
}

TEST_F(RealFilesSendTest, FilesNamedLikeTheSentinelLinesAreFiles)
{
    addFile("No files", "first");
    addFile("Not a Valid Path", "second");
    addFile("x", "third");

    const auto messages = send({"x"});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].subject, "Files: x");
    EXPECT_EQ(list.state(), ListState::Files);
    // The sentinel names sort first; the Send still goes.
    EXPECT_EQ(list.lines().front().name, "No files");
}

TEST_F(RealFilesSendTest, EachFileIsOpenedOnceToSizeItAndOnceToReadIt)
{
    addFile("a", randomBytes(300000, 1));
    addFile("b", randomBytes(200000, 2));
    addFile("c", randomBytes(10, 3));
    OpenCounter counter(folder);
    const auto messages = send({"a", "b", "c"});
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_EQ(messages[0].attachments.size(), 3u);
    EXPECT_EQ(counter.opens(), (QHash<QString, int>{{"a", 2}, {"b", 2}, {"c", 2}}));
}

TEST_F(RealFilesSendTest, AMessageOverTheOutboxLimitStopsTheSendBeforeAnythingGoes)
{
    addFile("a", randomBytes(100000, 1));
    addFile("b", randomBytes(600000, 2));
    addFile("c", randomBytes(10, 3));
    refreshFileList(folder, files, list);
    SendRequest request{list.folder(), list.lines(),     "500",       "to@example.org",
                        "Files: ",     "me@example.org", list.state()};
    for (FileLine &line : request.entries)
        line.ticked = true;

    // "a" and "b" share the first message: about 950 kB as mail.
    FakeOutbox small;
    small.sizeLimit = 900000;
    const QString refusal = failureOf([&] { sendBatch(request, small, files); });
    EXPECT_TRUE(refusal.startsWith("The message \"Files: a,b\" (a, b) would be ")) << refusal;
    EXPECT_TRUE(refusal.contains("more than the 900000 bytes the test outbox takes")) << refusal;
    EXPECT_TRUE(refusal.endsWith("Nothing was put into the test outbox.")) << refusal;
    EXPECT_TRUE(small.offered.empty());

    FakeOutbox large;
    large.sizeLimit = 1000000;
    EXPECT_EQ(sendBatch(request, large, files).filedSubjects,
              QStringList({"Files: a,b", "Files: c"}));

    // Where lines end in CRLF, the same limit is measured against the larger size.
    const std::vector<Draft> firstOnly = {
        {"to@example.org", "me@example.org", "Files: a,b", {folder + "/a", folder + "/b"}}};
    const std::uint64_t lf = large.storedSize(firstOnly[0]);
    FakeOutbox exact;
    exact.sizeLimit = lf;
    EXPECT_NO_THROW(exact.checkSizes(firstOnly)) << "a message as large as the limit fits";
    FakeOutbox wire;
    wire.ending = LineEnding::CrLf;
    wire.sizeLimit = lf;
    const QString crlf = failureOf([&] { sendBatch(request, wire, files); });
    EXPECT_TRUE(crlf.contains(QStringLiteral("more than the %1 bytes").arg(lf))) << crlf;
    EXPECT_TRUE(wire.offered.empty());
}

} // namespace
