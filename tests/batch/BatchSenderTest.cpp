#include "batch/BatchSender.h"

#include "support/FakeFileSystem.h"
#include "support/FakeMailApplication.h"
#include "support/TestTools.h"

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
        SendRequest r{"/scans", {}, sizeText, "rcpt@example.org", "Scan-", "me@example.org"};
        files.addFolder(r.folder);
        for (const Entry &e : entries) {
            r.entries.push_back({e.name, e.ticked});
            files.addFile(r.folder + "/" + e.name, e.size);
        }
        return r;
    }

    // The subjects sent by a fresh mail client; every message it opened must have gone.
    QStringList subjectsSent(const SendRequest &r)
    {
        FakeMailApplication fresh;
        sendBatch(r, fresh, files);
        QStringList subjects;
        for (const auto &m : fresh.sentMessages())
            subjects << m.subject;
        EXPECT_EQ(fresh.items.size(), std::size_t(subjects.size())) << "opened but not sent";
        return subjects;
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
    const QStringList addA = {"Subject?", "Subject?", "Subject=Scan-a.jpg", "Add=/scans/a.jpg"};
    const QStringList addC =
        QStringList{"Subject?", "Subject?", "Subject=Scan-a.jpg,"} +
        QStringList{"Subject?", "Subject=Scan-a.jpg,c.jpg", "Add=/scans/c.jpg"};
    const QStringList addD = {"Subject?", "Subject?", "Subject=Scan-d.jpg", "Add=/scans/d.jpg"};
    const QStringList send = {"Send"};
    EXPECT_EQ(mail.calls, header + addA + addC + send + header + addD + send);
    // Unticked entries count for nothing: their sizes are never asked for.
    EXPECT_EQ(files.sizeLookups, QStringList({"/scans/a.jpg", "/scans/c.jpg", "/scans/d.jpg"}));
}

TEST_F(BatchSenderTest, AMessageClosesWhenItsFilesReachTheLimit)
{
    const std::tuple<std::vector<Entry>, const char *, QStringList> cases[] = {
        // 768,000 bytes is the limit of 750 kilobytes; reaching it exactly closes the message.
        {{{"a", true, 500000}, {"b", true, 268000}, {"c", true, 1}}, "750", {"Scan-a,b", "Scan-c"}},
        // Large files are never held back: first in a message alone, else with the smaller.
        {{{"big1", true, 900000}, {"small", true, 1000}, {"big2", true, 900000}, {"tail", true, 5}},
         "750",
         {"Scan-big1", "Scan-small,big2", "Scan-tail"}},
        // Unticked entries alone after a closed message open none.
        {{{"a.jpg", true, 800000}, {"b.txt", false, 1}, {"c.txt", false, 1}},
         "750",
         {"Scan-a.jpg"}},
        {{{"a", true, 10}, {"b", false, 10}, {"c", true, 10}, {"d", false, 10}},
         "750",
         {"Scan-a,c"}},
        // A limit of zero or less sends each ticked file alone.
        {{{"a", true, 1}, {"b", false, 1}, {"c", true, 1}}, "0", {"Scan-a", "Scan-c"}},
        {{{"a", true, 1}, {"b", false, 1}, {"c", true, 1}}, "-5", {"Scan-a", "Scan-c"}},
        // Half a kilobyte is 512 bytes.
        {{{"a", true, 511}, {"b", true, 1}, {"c", true, 1}}, "0.5", {"Scan-a,b", "Scan-c"}},
    };
    for (const auto &[entries, size, subjects] : cases)
        EXPECT_EQ(subjectsSent(request(entries, size)), subjects) << size;

    SendRequest noPrefix = request({{"a", true, 1}, {"b", true, 1}});
    noPrefix.subjectPrefix.clear();
    EXPECT_EQ(subjectsSent(noPrefix), QStringList({"a,b"}));
}

TEST_F(BatchSenderTest, PathsJoinWithOneSeparator)
{
    for (const auto &[folder, path] : std::vector<std::pair<QString, QString>>{
             {"/", "/a"}, {"/data/", "/data/a"}, {"/data", "/data/a"}}) {
        FakeMailApplication fresh;
        files.addFile(path, 1);
        const SendRequest r{folder, {{"a", true}}, "750", "rcpt@example.org", "", "me@example.org"};
        sendBatch(r, fresh, files);
        ASSERT_EQ(fresh.sentMessages().size(), 1u);
        EXPECT_EQ(fresh.sentMessages()[0].attachments, QStringList{path});
    }
}

TEST_F(BatchSenderTest, SizeTextThatIsNoNumberCreatesNothing)
{
    for (const QString size : {"abc", "", " ", "inf", "nan", "0x10", "12kb", "1e308"}) {
        EXPECT_THROW(sendBatch(request({{"a", true, 1}}, size), mail, files), Failure) << size;
        EXPECT_TRUE(mail.calls.isEmpty()) << size;
    }
}

TEST_F(BatchSenderTest, TotalAbove2GiBFailsNamingTheFileAndKeepsEarlierMessages)
{
    // Limit ~100 GiB: first and huge1 share a message, huge2 overflows it while still under it.
    const SendRequest r =
        request({{"first", true, 800000}, {"huge1", true, 2000000000}, {"huge2", true, 200000000}},
                "100000000");
    EXPECT_TRUE(failureOf([&] { sendBatch(r, mail, files); }).contains("/scans/huge2"));
    EXPECT_TRUE(mail.sentMessages().empty());
    EXPECT_FALSE(mail.calls.contains("Send"));

    // The first message closes at the limit; the second overflows with its first file.
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
    ASSERT_EQ(mail.sentMessages().size(), 1u);
    EXPECT_EQ(mail.sentMessages()[0].subject, "Scan-a");
    EXPECT_EQ(mail.calls.last(), "Add=/scans/b");

    // A file gone since the list was filled.
    FakeMailApplication second;
    r.entries.push_back({"vanished", true});
    EXPECT_THROW(sendBatch(r, second, files), Failure);
    EXPECT_EQ(second.sentMessages().size(), 1u);
}

} // namespace
