#include "batch/BatchSender.h"

#include "batch/BatchPlan.h"
#include "batch/SendProgress.h"
#include "common/CancelToken.h"
#include "mailbridge/TransferMonitor.h"

#include "support/FakeFileSystem.h"
#include "support/FakeOutbox.h"
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

    // The subjects filed into a fresh outbox; every draft it was given must have been filed.
    QStringList subjectsSent(const SendRequest &r)
    {
        FakeOutbox fresh;
        sendBatch(r, fresh, files);
        QStringList subjects;
        for (const auto &m : fresh.filed())
            subjects << m.subject;
        EXPECT_EQ(fresh.offered.size(), std::size_t(subjects.size())) << "given but not filed";
        return subjects;
    }

    FakeOutbox mail;
    FakeFileSystem files;
};

TEST_F(BatchSenderTest, WorkedExampleFilesTheDraftsInOrder)
{
    sendBatch(request({{"a.jpg", true, 500000},
                       {"b.txt", false, 20000},
                       {"c.jpg", true, 300000},
                       {"d.jpg", true, 100000},
                       {"e.doc", false, 40000}}),
              mail, files);

    // Each subject whole, as the plan built it; the files in list order.
    const auto filed = mail.filed();
    ASSERT_EQ(filed.size(), 2u);
    const auto expect = [](const Draft &draft, const QString &subject, const QStringList &paths) {
        EXPECT_EQ(draft.subject, subject);
        EXPECT_EQ(draft.to, "rcpt@example.org");
        EXPECT_EQ(draft.from, "me@example.org");
        EXPECT_EQ(draft.attachmentPaths, paths);
    };
    expect(filed[0], "Scan-a.jpg,c.jpg", {"/scans/a.jpg", "/scans/c.jpg"});
    expect(filed[1], "Scan-d.jpg", {"/scans/d.jpg"});
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
        FakeOutbox fresh;
        files.addFile(path, 1);
        const SendRequest r{folder, {{"a", true}}, "750", "rcpt@example.org", "", "me@example.org"};
        sendBatch(r, fresh, files);
        ASSERT_EQ(fresh.filed().size(), 1u);
        EXPECT_EQ(fresh.filed()[0].attachmentPaths, QStringList{path});
    }
}

TEST_F(BatchSenderTest, SizeTextThatIsNoNumberCreatesNothing)
{
    for (const QString size : {"abc", "", " ", "inf", "nan", "0x10", "12kb", "1e308"}) {
        EXPECT_THROW(sendBatch(request({{"a", true, 1}}, size), mail, files), Failure) << size;
        EXPECT_TRUE(mail.offered.empty()) << size;
    }
}

TEST_F(BatchSenderTest, PlanningFailuresCreateNothing)
{
    // A message over 2,147,483,647 bytes is refused like a size text that is no number; a file
    // gone since the list was filled stops the Send. Both are found while the split is worked
    // out, before the first message exists.
    const SendRequest huge =
        request({{"first", true, 800000}, {"huge1", true, 2000000000}, {"huge2", true, 200000000}},
                "100000000");
    SendRequest vanished = request({{"a", true, 800000}, {"b", true, 1}});
    vanished.entries.push_back({"vanished", true});

    FakeOutbox fresh;
    EXPECT_THROW(sendBatch(huge, fresh, files), Refusal);
    const QString tooLarge = failureOf([&] { sendBatch(huge, fresh, files); });
    EXPECT_TRUE(tooLarge.contains("/scans/huge2")) << tooLarge;

    const QString gone = failureOf([&] { sendBatch(vanished, fresh, files); });
    EXPECT_TRUE(gone.contains("/scans/vanished")) << gone;
    EXPECT_TRUE(gone.endsWith("Nothing was put into the test outbox.")) << gone;
    EXPECT_TRUE(fresh.offered.empty());
}

TEST_F(BatchSenderTest, AStopOfAnOutboxThatSendsOnSaysSentNotFiled)
{
    const SendRequest r = request({{"a", true, 800000}, {"b", true, 800000}, {"c", true, 800000}});
    FakeOutbox sending;
    sending.sends = true;
    sending.onFile = [](int send, TransferMonitor &) {
        if (send == 1)
            throw PerhapsFiled("May have been sent: no answer");
    };
    const QString text = failureOf([&] { sendBatch(r, sending, files); });
    EXPECT_TRUE(text.contains("Already sent through the test outbox (1 message):\nScan-a")) << text;
    EXPECT_TRUE(text.contains("May have been sent through the test outbox; look in your Sent "
                              "folder or ask the recipient before sending it again:\nScan-b"))
        << text;
    EXPECT_TRUE(text.endsWith("c")) << text;
    EXPECT_FALSE(text.contains("Perhaps in")) << text;
}

TEST_F(BatchSenderTest, AStoppedSendSaysWhatWasFiledAndWhatWasNot)
{
    const SendRequest r = request({{"a", true, 800000},
                                   {"b", true, 800000},
                                   {"c", true, 1},
                                   {"d", false, 1},
                                   {"e", true, 1}});
    struct Case
    {
        const char *name;
        std::function<void(int, TransferMonitor &)> onFile;
        QStringList filed;
        QStringList unsent;
        bool cancelled;
        QStringList perhaps = {};
    };
    const Case cases[] = {
        {"the second Send fails",
         [](int send, TransferMonitor &) {
             if (send == 1)
                 throw Failure("disk full");
         },
         {"Scan-a"},
         {"b", "c", "e"},
         false},
        // Filed, though a later step failed: counted as filed, so a retry does not repeat it.
        {"the second Send is filed but not made durable",
         [](int send, TransferMonitor &) {
             if (send == 1)
                 throw FiledWithFailure("cannot sync");
         },
         {"Scan-a", "Scan-b"},
         {"c", "e"},
         false},
        {"cancelled while writing the first",
         [](int, TransferMonitor &monitor) {
             if (monitor.cancelRequested())
                 throw SendCancelled();
         },
         {},
         {"a", "b", "c", "e"},
         true},
        // Whole at the outbox, its answer lost: neither filed nor unsent, and never "nothing".
        {"the first one's arrival cannot be known",
         [](int send, TransferMonitor &) {
             if (send == 0)
                 throw PerhapsFiled("no answer");
         },
         {},
         {"b", "c", "e"},
         false,
         {"Scan-a"}},
        {"the wait for the first one's answer is cancelled",
         [](int send, TransferMonitor &) {
             if (send == 0)
                 throw PerhapsFiled("no answer", true);
         },
         {},
         {"b", "c", "e"},
         true,
         {"Scan-a"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeOutbox fresh;
        fresh.onFile = c.onFile;
        CancelToken cancel;
        if (c.cancelled && c.perhaps.isEmpty())
            cancel.cancel();
        try {
            sendBatch(r, fresh, files, SendProgress::none(), cancel);
            ADD_FAILURE() << "no stop";
        } catch (const SendStopped &stopped) {
            EXPECT_EQ(stopped.filedSubjects(), c.filed);
            EXPECT_EQ(stopped.perhapsFiledSubjects(), c.perhaps);
            EXPECT_EQ(stopped.unsentFiles(), c.unsent);
            EXPECT_EQ(stopped.cancelled(), c.cancelled);
            const QString text = stopped.description();
            EXPECT_EQ(text.contains("Nothing was put into the test outbox."),
                      c.filed.isEmpty() && c.perhaps.isEmpty())
                << text;
            for (const QString &subject : c.perhaps)
                EXPECT_TRUE(text.contains("Perhaps in the test outbox; look there before sending "
                                          "it again:\n" +
                                          subject))
                    << text;
            if (!c.filed.isEmpty()) {
                EXPECT_TRUE(text.contains(
                    QStringLiteral("Already in the test outbox (%1 message").arg(c.filed.size())))
                    << text;
            }
            for (const QString &subject : c.filed)
                EXPECT_TRUE(text.contains("\n" + subject)) << text;
            EXPECT_TRUE(text.endsWith(c.unsent.join(", "))) << text;
        }
    }
}

TEST_F(BatchSenderTest, AStopCanBeToldWithSubjectsAndNamesShownAnotherWay)
{
    // For an output that needs one name to a line: only the names pass through the function.
    const SendRequest r = request({{"a\nb", true, 800000}, {"c", true, 800000}});
    mail.onFile = [](int send, TransferMonitor &) {
        if (send == 1)
            throw Failure("disk\nfull");
    };
    try {
        sendBatch(r, mail, files);
        ADD_FAILURE() << "no stop";
    } catch (const SendStopped &stopped) {
        const auto marked = [](const QString &text) { return "<" + text + ">"; };
        EXPECT_EQ(stopped.description(marked),
                  "disk\nfull\n\nAlready in the test outbox (1 message):\n<Scan-a\nb>\n\n"
                  "Not sent (1 file): <c>");
        EXPECT_EQ(stopped.description(), "disk\nfull\n\nAlready in the test outbox (1 message):\n"
                                         "Scan-a\nb\n\nNot sent (1 file): c");
    }
}

TEST_F(BatchSenderTest, ARefusedDraftStopsTheSendThere)
{
    const SendRequest r = request({{"a", true, 800000}, {"b", true, 1}, {"c", true, 1}});
    mail.failOnPath = "/scans/b";
    EXPECT_THROW(sendBatch(r, mail, files), SendStopped);
    ASSERT_EQ(mail.filed().size(), 1u);
    EXPECT_EQ(mail.filed()[0].subject, "Scan-a");
    ASSERT_EQ(mail.offered.size(), 2u) << "nothing is offered after the refusal";
}

TEST_F(BatchSenderTest, ProgressFiguresAddUp)
{
    struct Recorder : SendProgress
    {
        void planned(const BatchPlan &p) override { plan = p; }
        void fileStarted(const QString &name) override { started << name; }
        void bytesDone(std::int64_t n) override { bytes += n; }
        void messageFiled(int index, const QString &subject) override
        {
            filed << QString::number(index) + ":" + subject;
        }
        BatchPlan plan;
        QStringList started;
        QStringList filed;
        std::int64_t bytes = 0;
    } recorder;
    const SendRequest r =
        request({{"a", true, 500000}, {"b", false, 9}, {"c", true, 300000}, {"d", true, 100000}});
    // The fake outbox reports each file whole, as a real one reports it block by block.
    mail.onFile = [&](int, TransferMonitor &monitor) {
        for (const QString &path : mail.offered.back().attachmentPaths) {
            monitor.attachmentStarted(path);
            monitor.attachmentBytes(files.FileSize(path));
        }
    };
    CancelToken never;
    sendBatch(r, mail, files, recorder, never);

    ASSERT_EQ(recorder.plan.messages.size(), 2u);
    EXPECT_EQ(recorder.plan.totalBytes, 900000);
    EXPECT_EQ(recorder.plan.fileCount, 3);
    EXPECT_EQ(recorder.plan.messages[0].subject, "Scan-a,c");
    EXPECT_EQ(recorder.bytes, recorder.plan.totalBytes);
    EXPECT_EQ(recorder.started, QStringList({"a", "c", "d"}));
    EXPECT_EQ(recorder.filed, QStringList({"0:Scan-a,c", "1:Scan-d"}));
}

} // namespace
