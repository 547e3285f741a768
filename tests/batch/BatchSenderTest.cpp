#include "batch/BatchSender.h"

#include "common/Failure.h"
#include "support/FakeFileSystem.h"
#include "support/FakeMailApplication.h"

#include <gtest/gtest.h>

namespace {

struct Entry
{
    const char *name;
    bool ticked;
    qint64 size;
};

class BatchSenderTest : public ::testing::Test
{
protected:
    SendRequest request(const std::vector<Entry> &entries, const QString &sizeText = "750")
    {
        SendRequest r;
        r.folder = "/scans";
        r.sizeText = sizeText;
        r.recipient = "rcpt@example.org";
        r.sender = "me@example.org";
        r.subjectPrefix = "Scan-";
        files.addFolder(r.folder);
        for (const Entry &e : entries) {
            r.entries.push_back({e.name, e.ticked});
            files.addFile(r.folder + "/" + e.name, e.size);
        }
        return r;
    }

    QStringList subjects() const
    {
        QStringList s;
        for (const auto &m : mail.sentMessages())
            s << m.subject;
        return s;
    }

    FakeMailApplication mail;
    FakeFileSystem files;
};

TEST_F(BatchSenderTest, WorkedExampleMakesTheCallsInOrder)
{
    sendBatch(request({{"a.jpg", true, 500000},
                       {"b.txt", false, 20000},
                       {"c.jpg", true, 300000},
                       {"d.jpg", true, 100000},
                       {"e.doc", false, 40000}}),
              mail, files);

    const QStringList header = {"CreateItem 0", "Subject=Scan-", "To=rcpt@example.org",
                                "From=me@example.org", "DeleteAfterSubmit=1"};
    QStringList expected = header;
    expected << "Subject?"
             << "Subject?"
             << "Subject=Scan-a.jpg"
             << "Add=/scans/a.jpg";
    expected << "Subject?"
             << "Subject?"
             << "Subject=Scan-a.jpg,"
             << "Subject?"
             << "Subject=Scan-a.jpg,c.jpg"
             << "Add=/scans/c.jpg"
             << "Send";
    expected << header;
    expected << "Subject?"
             << "Subject?"
             << "Subject=Scan-d.jpg"
             << "Add=/scans/d.jpg"
             << "Send";
    EXPECT_EQ(mail.calls, expected);
    // Unticked entries count for nothing: their sizes are never asked for.
    EXPECT_EQ(files.sizeLookups, QStringList({"/scans/a.jpg", "/scans/c.jpg", "/scans/d.jpg"}));
}

TEST_F(BatchSenderTest, NoMessageIsOpenedForUntickedEntriesAlone)
{
    // A message closed at the limit followed only by unticked entries: nothing more is sent.
    sendBatch(request({{"a.jpg", true, 800000}, {"b.txt", false, 1}, {"c.txt", false, 1}}), mail,
              files);
    EXPECT_EQ(subjects(), QStringList({"Scan-a.jpg"}));
    EXPECT_EQ(mail.items.size(), 1u);
}

TEST_F(BatchSenderTest, ClosingRuleAtTheLimit)
{
    // 768,000 bytes is the limit of 750 kilobytes; reaching it exactly closes the message.
    sendBatch(request({{"a", true, 500000}, {"b", true, 268000}, {"c", true, 1}}), mail, files);
    EXPECT_EQ(subjects(), QStringList({"Scan-a,b", "Scan-c"}));
}

TEST_F(BatchSenderTest, LargeFilesAreNeverHeldBack)
{
    // First in its message: alone. After smaller files: shares their message.
    sendBatch(request({{"big1", true, 900000},
                       {"small", true, 1000},
                       {"big2", true, 900000},
                       {"tail", true, 5}}),
              mail, files);
    EXPECT_EQ(subjects(), QStringList({"Scan-big1", "Scan-small,big2", "Scan-tail"}));
}

TEST_F(BatchSenderTest, EverythingUnderTheLimitMakesOneMessage)
{
    sendBatch(request({{"a", true, 10}, {"b", false, 10}, {"c", true, 10}, {"d", false, 10}}), mail,
              files);
    ASSERT_EQ(mail.sentMessages().size(), 1u);
    EXPECT_EQ(mail.sentMessages()[0].attachments, QStringList({"/scans/a", "/scans/c"}));
    EXPECT_EQ(mail.items.size(), 1u);
}

TEST_F(BatchSenderTest, ZeroOrNegativeLimitSendsEachTickedFileAlone)
{
    for (const QString size : {"0", "-5"}) {
        FakeMailApplication fresh;
        sendBatch(request({{"a", true, 1}, {"b", false, 1}, {"c", true, 1}}, size), fresh, files);
        ASSERT_EQ(fresh.sentMessages().size(), 2u) << size.toStdString();
        EXPECT_EQ(fresh.sentMessages()[0].subject, "Scan-a");
        EXPECT_EQ(fresh.sentMessages()[1].subject, "Scan-c");
    }
}

TEST_F(BatchSenderTest, FractionalSizeText)
{
    // Half a kilobyte is 512 bytes.
    sendBatch(request({{"a", true, 511}, {"b", true, 1}, {"c", true, 1}}, "0.5"), mail, files);
    EXPECT_EQ(subjects(), QStringList({"Scan-a,b", "Scan-c"}));
}

TEST_F(BatchSenderTest, SubjectsWithAnEmptyPrefix)
{
    SendRequest r = request({{"a", true, 1}, {"b", true, 1}});
    r.subjectPrefix.clear();
    sendBatch(r, mail, files);
    EXPECT_EQ(subjects(), QStringList({"a,b"}));
}

TEST_F(BatchSenderTest, PathsJoinWithOneSeparator)
{
    files.addFile("/a.txt", 1);
    files.addFile("/data/b.txt", 1);
    for (const auto &[folder, expected] : std::vector<std::pair<QString, QString>>{
             {"/", "/a.txt"}, {"/data/", "/data/b.txt"}, {"/data", "/data/b.txt"}}) {
        FakeMailApplication fresh;
        SendRequest r = request({});
        r.folder = folder;
        r.entries = {{expected.section('/', -1), true}};
        sendBatch(r, fresh, files);
        ASSERT_EQ(fresh.sentMessages().size(), 1u);
        EXPECT_EQ(fresh.sentMessages()[0].attachments, QStringList({expected}));
    }
}

TEST_F(BatchSenderTest, SizeTextThatIsNoNumberCreatesNothing)
{
    for (const QString size : {"abc", "", " ", "inf", "nan", "0x10", "12kb"}) {
        FakeMailApplication fresh;
        EXPECT_THROW(sendBatch(request({{"a", true, 1}}, size), fresh, files), Failure)
            << size.toStdString();
        EXPECT_TRUE(fresh.calls.isEmpty()) << size.toStdString();
    }
    EXPECT_THROW(sendBatch(request({{"a", true, 1}}, "1e308"), mail, files), Failure);
}

TEST_F(BatchSenderTest, TotalAbove2GiBFailsNamingTheFileAndKeepsEarlierMessages)
{
    // The first message closes at the limit; the second overflows while still under it.
    const SendRequest r =
        request({{"first", true, 800000}, {"huge1", true, 2000000000}, {"huge2", true, 200000000}},
                "100000000");
    // Limit ~100 GiB: first and huge1 share a message, huge2 overflows it.
    try {
        sendBatch(r, mail, files);
        FAIL() << "no failure";
    } catch (const Failure &failure) {
        EXPECT_TRUE(failure.description().contains("/scans/huge2"));
    }
    EXPECT_TRUE(mail.sentMessages().empty());
    EXPECT_FALSE(mail.calls.contains("Send"));

    FakeMailApplication second;
    const SendRequest alone = request({{"small", true, 800000}, {"giant", true, 2147483648}});
    EXPECT_THROW(sendBatch(alone, second, files), Failure);
    ASSERT_EQ(second.sentMessages().size(), 1u);
    EXPECT_EQ(second.sentMessages()[0].subject, "Scan-small");
    EXPECT_EQ(second.items.back()->attachments, QStringList({"/scans/giant"}));
}

TEST_F(BatchSenderTest, FailureStopsAtTheFailingStep)
{
    SendRequest r = request({{"a", true, 800000}, {"b", true, 1}, {"c", true, 1}});
    mail.failOn = "Add=/scans/b";
    EXPECT_THROW(sendBatch(r, mail, files), Failure);
    EXPECT_EQ(subjects(), QStringList({"Scan-a"}));
    EXPECT_EQ(mail.calls.last(), "Add=/scans/b");

    // A file gone since the list was filled.
    FakeMailApplication second;
    r.entries.push_back({"vanished", true});
    EXPECT_THROW(sendBatch(r, second, files), Failure);
    EXPECT_EQ(second.sentMessages().size(), 1u);
}

} // namespace
