#include "FakeDraftsFolder.h"

#include "common/CancelToken.h"
#include "mailbridge/review/ReviewedSend.h"

#include <gtest/gtest.h>

namespace {

const QString account = QStringLiteral("me@example.org at imap.example.org");

QByteArray message(const QString &subject, const QByteArray &extraHeaders = {},
                   const QByteArray &body = "Files.\r\n")
{
    return "From: Me <me@example.org>\r\nTo: Ann <ann@example.org>\r\n" + extraHeaders +
           "Subject: " + subject.toUtf8() + "\r\n\r\n" + body;
}

FiledDraft filed(const QString &id, const QStringList &attachments)
{
    return FiledDraft{id, QStringLiteral("s"), attachments, QDateTime::currentDateTime()};
}

class NoProgress : public ReviewedSendProgress
{
public:
    void draftStarted(int, int, const QString &, std::uint64_t) override { ++started; }
    void bytesDone(std::uint64_t n) override { bytes += n; }
    void draftSent(int) override {}
    int started = 0;
    std::uint64_t bytes = 0;
};

struct ReviewRun
{
    FakeDraftsFolder folder;
    FakeSubmission server;
    MemoryFiledDrafts record;
    NoProgress progress;
    CancelToken cancel;

    ReviewPlan plan() { return planReviewedSend(folder, record.of(account)); }
    ReviewedSendOutcome send(bool keepCopies = true)
    {
        return sendReviewedDrafts(plan(), folder, server, record, account, keepCopies, progress,
                                  cancel);
    }
};

// Three filed drafts: "one", "two" (edited: a new Message-ID, same files) and "three".
void fileThree(ReviewRun &run)
{
    for (const auto &[subject, id, files] :
         {std::tuple{"one", "id1@h", QStringList{"a.bin"}},
          std::tuple{"two", "id2@h", QStringList{"b.bin", "c.bin"}},
          std::tuple{"three", "id3@h", QStringList{"d.bin"}}})
        run.record.add(account, filed(QString::fromLatin1(id), files));
    run.folder.add(message("one"), "one", "id1@h", {"a.bin"}, {"ann@example.org"});
    run.folder.add(message("two, edited"), "two, edited", "new@elsewhere", {"b.bin", "c.bin"},
                   {"ann@example.org", "bob@example.org"});
    run.folder.add(message("three"), "three", "id3@h", {"d.bin"}, {"ann@example.org"});
}

} // namespace

TEST(ReviewedSendTest, PlanFindsThisMachinesDraftsEvenEditedAndLeavesTheRest)
{
    ReviewRun run;
    fileThree(run);
    run.folder.add(message("mine"), "a letter of my own", "mine@h", {"cv.pdf"});
    run.folder.add(message("unsure"), "unsure", "id9@h", {"z.bin"});
    run.folder.drafts.rbegin()->second.draft.flags << DraftsFolder::sendingKeyword;
    run.folder.add(message("gone"), "gone", "id8@h", {"y.bin"});
    run.folder.drafts.rbegin()->second.draft.flags << DraftsFolder::sentKeyword;
    // Same attachments as a filed draft but in another order: not that draft.
    run.folder.add(message("x"), "x", "x@h", {"c.bin", "b.bin"});

    const ReviewPlan plan = run.plan();
    ASSERT_EQ(plan.drafts.size(), 3u);
    EXPECT_EQ(plan.drafts[1].subject, "two, edited");
    EXPECT_EQ(plan.filed[1].messageId, "id2@h");
    ASSERT_EQ(plan.perhapsSent.size(), 1u);
    EXPECT_EQ(plan.otherDrafts, 2);
    EXPECT_EQ(plan.recipients(), (QStringList{"ann@example.org", "bob@example.org"}));
    const QString preview = plan.preview();
    EXPECT_TRUE(preview.startsWith("3 drafts to ann@example.org and bob@example.org, "))
        << qPrintable(preview);
    EXPECT_TRUE(preview.contains("\"unsure\", which an earlier run may have sent"));
    EXPECT_TRUE(preview.contains("2 other drafts in the folder are not from Ferrymail"));
    EXPECT_EQ(plan.alreadySent, 1);
    EXPECT_TRUE(preview.contains("1 draft sent before and still in the folder"));
}

TEST(ReviewedSendTest, SendsEachDraftAsItIsNowWithoutBccAndMovesIt)
{
    ReviewRun run;
    run.record.add(account, filed("id1@h", {"a.bin"}));
    const QByteArray body = QByteArray("Line\r\n.\r\n") + QByteArray(300, 'x') + "\r\n";
    run.folder.add(message("one",
                           "Cc: Bob <bob@example.org>\r\nBcc: hidden@example.org,\r\n"
                           " secret@example.org\r\n",
                           body),
                   "one", "id1@h", {"a.bin"});

    const ReviewedSendOutcome outcome = run.send();

    ASSERT_TRUE(outcome.complete()) << qPrintable(outcome.failure);
    ASSERT_EQ(run.server.sent.size(), 1u);
    const FakeSubmission::Sent &sent = run.server.sent[0];
    EXPECT_EQ(sent.sender, "me@example.org");
    EXPECT_EQ(sent.recipients, (QStringList{"ann@example.org", "bob@example.org",
                                            "hidden@example.org", "secret@example.org"}));
    EXPECT_EQ(sent.bytes, message("one", "Cc: Bob <bob@example.org>\r\n", body));
    EXPECT_FALSE(sent.bytes.contains("hidden") || sent.bytes.contains("secret"));
    EXPECT_EQ(run.progress.bytes, std::uint64_t(body.size()));
    ASSERT_EQ(run.folder.removed.size(), 1u);
    EXPECT_TRUE(run.folder.removed[0].second);
    EXPECT_TRUE(run.record.of(account).empty());
    EXPECT_EQ(outcome.summary().toStdString(),
              "Sent to ann@example.org, bob@example.org and 2 others: 1 message");
}

TEST(ReviewedSendTest, AFailureUndoesOnlyWhatTheServerSurelyDidNotTake)
{
    // Refused: the draft stays in the record, unmarked, for the next run.
    {
        ReviewRun run;
        fileThree(run);
        run.server.fail = [](int index) {
            if (index == 1)
                throw Failure(QStringLiteral("552 too big"));
        };
        const ReviewedSendOutcome outcome = run.send(false);
        EXPECT_EQ(outcome.sent, QStringList{"one"});
        EXPECT_EQ(outcome.notSent, (QStringList{"two, edited", "three"}));
        EXPECT_EQ(outcome.failure, "552 too big");
        EXPECT_FALSE(run.folder.removed.at(0).second);
        const ReviewPlan again = run.plan();
        ASSERT_EQ(again.drafts.size(), 2u);
        EXPECT_TRUE(again.perhapsSent.empty());
        EXPECT_TRUE(outcome.summary().startsWith("Sent 1 of 3 drafts. Not sent, still in Drafts"));
    }
    // Its end went unanswered: never again by itself, and the rest waits.
    {
        ReviewRun run;
        fileThree(run);
        run.server.fail = [](int index) {
            if (index == 0)
                throw PerhapsFiled(QStringLiteral("May have been sent: \"one\" went whole"));
        };
        const ReviewedSendOutcome outcome = run.send();
        EXPECT_EQ(outcome.perhapsSent, QStringList{"one"});
        EXPECT_EQ(outcome.notSent, (QStringList{"two, edited", "three"}));
        EXPECT_TRUE(run.folder.removed.empty());
        const ReviewPlan again = run.plan();
        ASSERT_EQ(again.perhapsSent.size(), 1u);
        EXPECT_EQ(again.perhapsSent[0].subject, "one");
        EXPECT_EQ(again.drafts.size(), 2u);
        EXPECT_TRUE(outcome.summary().contains("May have been sent: one."));
    }
    // Where no keyword can be kept, the record alone keeps it from a second send.
    {
        ReviewRun run;
        fileThree(run);
        run.folder.keepsKeywords = false;
        run.server.fail = [](int) { throw PerhapsFiled(QStringLiteral("lost")); };
        run.send();
        const ReviewPlan again = run.plan();
        EXPECT_EQ(again.drafts.size(), 2u);
        EXPECT_EQ(again.otherDrafts, 1);
    }
}

TEST(ReviewedSendTest, StopsBeforeAnythingGoesOrBetweenDrafts)
{
    // Larger than the server takes: nothing goes.
    {
        ReviewRun run;
        fileThree(run);
        run.server.limit = 20;
        const ReviewedSendOutcome outcome = run.send();
        EXPECT_TRUE(run.server.sent.empty());
        EXPECT_EQ(outcome.notSent.size(), 3);
        EXPECT_TRUE(outcome.failure.contains("Nothing was sent")) << qPrintable(outcome.failure);
    }
    // Cancelled while the second streams: it is left as it was.
    {
        ReviewRun run;
        fileThree(run);
        int fetches = 0;
        run.folder.onFetch = [&] {
            if (++fetches == 4) // the second draft's header, then its whole
                run.cancel.cancel();
        };
        const ReviewedSendOutcome outcome = run.send();
        EXPECT_TRUE(outcome.cancelled);
        EXPECT_EQ(outcome.sent, QStringList{"one"});
        EXPECT_EQ(outcome.notSent, (QStringList{"two, edited", "three"}));
        EXPECT_EQ(run.plan().drafts.size(), 2u);
        EXPECT_FALSE(
            run.folder.drafts.begin()->second.draft.flags.contains(DraftsFolder::sendingKeyword));
    }
    // Unreadable drafts are named and not sent.
    {
        ReviewRun run;
        run.record.add(account, filed("id1@h", {}));
        run.folder.add("From: me@example.org\r\nSubject: nobody\r\n\r\nx", "nobody", "id1@h");
        run.folder.add(QByteArray(100, 'x'), "no header", "id1@h");
        const ReviewedSendOutcome outcome = run.send();
        EXPECT_TRUE(outcome.failure.contains("is to nobody")) << qPrintable(outcome.failure);
        EXPECT_TRUE(run.server.sent.empty());
    }
}

TEST(ReviewedSendTest, ASentDraftThatCannotLeaveTheFolderIsSaidAndNeverSentAgain)
{
    ReviewRun run;
    fileThree(run);
    run.folder.removal = DraftRemoval::MarkedSent;
    ReviewedSendOutcome outcome = run.send();
    EXPECT_TRUE(outcome.complete());
    EXPECT_EQ(outcome.warnings.size(), 3);
    EXPECT_TRUE(outcome.warnings[0].contains("flagged as sent and deleted"));

    ReviewRun failing;
    fileThree(failing);
    failing.folder.removeFailure = Failure(QStringLiteral("NO [CANNOT] no"));
    outcome = failing.send();
    EXPECT_EQ(outcome.sent.size(), 3);
    EXPECT_TRUE(outcome.warnings[0].contains("could not be taken out"))
        << qPrintable(outcome.warnings[0]);
    // Still there, still marked as being sent: a second run leaves them alone.
    const ReviewPlan again = failing.plan();
    EXPECT_TRUE(again.drafts.empty());
    EXPECT_EQ(again.perhapsSent.size(), 3u);
}
