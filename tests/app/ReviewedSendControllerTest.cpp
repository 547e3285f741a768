#include "app/ReviewedSendController.h"
#include "app/ReviewedSendParts.h"

#include "FakeReviewedSend.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/password/PasswordResolution.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

class ReviewedSendControllerTest : public ::testing::Test
{
protected:
    ReviewedSendController::PartsFactory factory()
    {
        return [this](const std::optional<QString> &password, const std::function<bool()> &) {
            if (wantsPassword && !password)
                throw PasswordWanted(QStringLiteral("the Drafts folder of me@example.org"));
            return fakeReviewedParts(setup, password);
        };
    }

    // Plans, answers the question with `yes`, and returns how the run ended.
    ReviewedSendEnd runToEnd(bool yes = true)
    {
        std::optional<ReviewedSendEnd> end;
        const auto ended = QObject::connect(&controller, &ReviewedSendController::finished,
                                            [&end](const ReviewedSendEnd &e) { end = e; });
        const auto asked = QObject::connect(&controller, &ReviewedSendController::planned,
                                            [this, yes](const QString &preview) {
                                                previews << preview;
                                                EXPECT_FALSE(controller.isSending());
                                                if (yes)
                                                    controller.send();
                                                else
                                                    controller.dropPlan();
                                            });
        controller.plan(factory());
        EXPECT_TRUE(controller.isBusy());
        EXPECT_TRUE(QTest::qWaitFor([&] { return end || (!yes && !controller.isBusy()); }, 20000));
        QObject::disconnect(ended);
        QObject::disconnect(asked);
        EXPECT_FALSE(controller.isBusy());
        return end.value_or(ReviewedSendEnd{ReviewedSendEnd::Kind::Failed, "no end", "no end"});
    }

    FakeReviewSetup setup;
    bool wantsPassword = false;
    ReviewedSendController controller;
    QStringList previews;
};

TEST_F(ReviewedSendControllerTest, ThreeDraftsArePlannedAskedForAndSent)
{
    setup.add("Photos (1/3)", {"ann@example.org"});
    setup.add("Photos (2/3)", {"ann@example.org", "bob@example.org"});
    setup.add("Someone else's", {"carl@example.org"}, false);
    setup.add("Photos (3/3)", {"bob@example.org"});

    const ReviewedSendEnd end = runToEnd();

    // The question is the plan's own words, as it stood when listed.
    FakeDraftsFolder folder(setup);
    EXPECT_EQ(previews, QStringList{planReviewedSend(folder, setup.filed).preview()});
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Sent);
    EXPECT_TRUE(end.summary.contains("3 messages")) << end.summary;
    EXPECT_TRUE(end.box.isEmpty()) << end.box;
    EXPECT_EQ(setup.record->submitted, 3);
    const std::lock_guard hold(setup.record->lock);
    EXPECT_EQ(
        setup.record->sentTo,
        (QStringList{"ann@example.org", "ann@example.org,bob@example.org", "bob@example.org"}));
}

TEST_F(ReviewedSendControllerTest, NoSendsNothingAndAFolderWithoutOurDraftsSaysSo)
{
    setup.add("a", {"ann@example.org"});
    runToEnd(false);
    EXPECT_EQ(previews.size(), 1);
    EXPECT_EQ(setup.record->submitted, 0);

    FakeReviewSetup others;
    others.add("Someone else's", {"carl@example.org"}, false);
    setup = others;
    const ReviewedSendEnd end = runToEnd();
    EXPECT_EQ(previews.size(), 1) << "asked about nothing";
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::NothingToSend);
    EXPECT_TRUE(end.summary.startsWith(
        "No drafts of Ferrymail's Sends are in the Drafts folder of me@example.org.\n"))
        << end.summary;
    // What the plan left alone, in its own words, without its first line.
    FakeDraftsFolder folder(setup);
    const QString preview = planReviewedSend(folder, setup.filed).preview();
    EXPECT_TRUE(end.summary.endsWith(preview.section('\n', 1))) << end.summary;
    EXPECT_EQ(setup.record->submitted, 0);
}

TEST_F(ReviewedSendControllerTest, AMissingPasswordEndsTheRunUntilOneIsGiven)
{
    setup.add("a", {"ann@example.org"});
    wantsPassword = true;
    ReviewedSendEnd end = runToEnd();
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::PasswordWanted);
    EXPECT_TRUE(end.box.contains("the Drafts folder of me@example.org")) << end.box;
    EXPECT_EQ(setup.record->listed, 0);

    controller.setPassword(QStringLiteral("secret"));
    end = runToEnd();
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Sent);
    const std::lock_guard hold(setup.record->lock);
    EXPECT_EQ(setup.record->password, "secret");
}

TEST_F(ReviewedSendControllerTest, FailuresAndCancelsSayWhatWentAndWhatDidNot)
{
    setup.add("a", {"ann@example.org"});
    setup.listFailure = "Could not list the Drafts folder of me@example.org: connection reset";
    ReviewedSendEnd end = runToEnd();
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Failed);
    EXPECT_EQ(end.summary, "Nothing was sent: Could not list the Drafts folder of me@example.org: "
                           "connection reset");
    EXPECT_EQ(end.box, setup.listFailure);

    setup.listFailure.clear();
    setup.submitFailure = "550 mailbox full";
    end = runToEnd();
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Failed);
    EXPECT_TRUE(end.box.contains("550 mailbox full")) << end.box;
    EXPECT_FALSE(end.summary.isEmpty());

    // Cancelled while the folder is listed: nothing asked, nothing sent.
    setup.submitFailure.clear();
    setup.listLatch = std::make_shared<Latch>();
    std::optional<ReviewedSendEnd> cancelled;
    QObject::connect(&controller, &ReviewedSendController::finished,
                     [&cancelled](const ReviewedSendEnd &e) { cancelled = e; });
    controller.plan(factory());
    ASSERT_TRUE(QTest::qWaitFor([this] { return setup.record->listed == 3; }, 5000));
    controller.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancelled.has_value(); }, 5000));
    EXPECT_EQ(cancelled->kind, ReviewedSendEnd::Kind::Stopped);
    EXPECT_EQ(cancelled->summary, "Cancelled: nothing was sent.");
    EXPECT_FALSE(controller.isBusy());
}

TEST_F(ReviewedSendControllerTest, StopAndWaitEndsASendAtOnceAndNeverLater)
{
    setup.add("a", {"ann@example.org"});
    setup.submitLatch = std::make_shared<Latch>();
    int ends = 0;
    std::optional<ReviewedSendEnd> end;
    QObject::connect(&controller, &ReviewedSendController::finished, [&](const ReviewedSendEnd &e) {
        ++ends;
        end = e;
    });
    QObject::connect(&controller, &ReviewedSendController::planned, [this] { controller.send(); });
    controller.plan(factory());
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller.isSending(); }, 5000));
    controller.stopAndWait();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(controller.isBusy());
    EXPECT_EQ(end->kind, ReviewedSendEnd::Kind::Stopped);
    // The worker's own word of its end, still queued, is dropped.
    QTest::qWait(100);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(setup.record->submitted, 0);
}

TEST(ReviewedSendEnd, WordsWhatMayHaveGoneAndWhatCameAfter)
{
    ReviewedSendOutcome outcome;
    outcome.sent = QStringList{"a"};
    outcome.warnings = QStringList{"\"a\" stays in Drafts: the server keeps no copy in Sent."};
    ReviewedSendEnd end = reviewedSendEnd(outcome);
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Sent);
    EXPECT_EQ(end.summary, outcome.summary());
    EXPECT_EQ(end.box, "Sent, then:\n\"a\" stays in Drafts: the server keeps no copy in Sent.");

    outcome.warnings.clear();
    outcome.perhapsSent = QStringList{"b"};
    outcome.notSent = QStringList{"c"};
    outcome.failure = "The server did not answer after the end of \"b\".";
    end = reviewedSendEnd(outcome);
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Failed);
    EXPECT_TRUE(end.box.startsWith(outcome.failure + "\n\nMay have been sent: \"b\".")) << end.box;

    // A cancel is no failure to show; what it left uncertain still is.
    outcome.cancelled = true;
    end = reviewedSendEnd(outcome);
    EXPECT_EQ(end.kind, ReviewedSendEnd::Kind::Stopped);
    EXPECT_TRUE(end.box.startsWith("May have been sent: \"b\".")) << end.box;
    outcome.perhapsSent.clear();
    EXPECT_TRUE(reviewedSendEnd(outcome).box.isEmpty());
}

TEST(ReviewedSendParts, TheWorkerReadsACopyOfTheAccountAsItWas)
{
    MemorySettingsStore store;
    store.values = {{"MailClient/Kind", "imap"},
                    {"MailClient/ImapHost", "imap.example.org"},
                    {"MailClient/ImapUser", "me@example.org"},
                    {"MailClient/SmtpHost", "smtp.example.org"},
                    {"MailClient/PasswordCommand", "pass show mail"},
                    {"Other/Key", "not copied"}};
    const auto copy = mailAccountSnapshot(store);
    store.values["MailClient/ImapHost"] = "changed.example.org";
    const MailAccount account = readMailAccount(*copy);
    EXPECT_EQ(account.kind, MailAccountKind::Imap);
    EXPECT_EQ(account.imapHost, "imap.example.org");
    EXPECT_EQ(account.smtpHost, "smtp.example.org");
    EXPECT_EQ(account.passwordCommand, "pass show mail");
    // Absent keys keep the reader's defaults.
    EXPECT_EQ(copy->read("MailClient", "ImapPort", "993"), "993");
    EXPECT_EQ(copy->read("Other", "Key"), "");
}

TEST(ReviewedSendParts, APasswordIsWantedWhereEitherServerLogsInWithOne)
{
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    account.imapUser = "me@example.org";
    account.smtpHost = "smtp.example.org";
    EXPECT_TRUE(reviewedSendNeedsPassword(account));
    account.imapAuth = ImapAuth::OAuth2;
    account.smtpAuth = ImapAuth::OAuth2;
    EXPECT_FALSE(reviewedSendNeedsPassword(account));
    account.smtpAuth = ImapAuth::Password;
    EXPECT_TRUE(reviewedSendNeedsPassword(account));
    EXPECT_EQ(reviewedSendPasswordFor(account), "the Drafts folder of me@example.org");
    account.imapFolder = "Entwürfe";
    EXPECT_EQ(reviewedSendPasswordFor(account), "the folder \"Entwürfe\" of me@example.org");

    // Neither typed, nor kept, nor from a command: asked of the person.
    MemorySettingsStore store;
    store.values = {{"MailClient/Kind", "imap"},
                    {"MailClient/ImapHost", "imap.example.org"},
                    {"MailClient/ImapUser", "me@example.org"},
                    {"MailClient/SmtpHost", "smtp.example.org"}};
    const QString wanted = failureOf<PasswordWanted>([&] {
        createReviewedSendParts(store, std::nullopt, std::make_shared<MemoryPasswordStore>(), {});
    });
    EXPECT_TRUE(wanted.contains("the Drafts folder of me@example.org")) << wanted;
}

} // namespace
