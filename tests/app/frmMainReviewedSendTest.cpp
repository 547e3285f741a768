#include "MainWindowTest.h"

#include "FakeReviewedSend.h"
#include "app/frmAccount.h"
#include "app/frmReviewProgress.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/review/ReviewedSend.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

// "Send the reviewed drafts" in the main window, over fake parts, driven by input delivered to
// the windows as the window system delivers it.
class frmMainReviewedSendTest : public MainWindowTest
{
protected:
    void openAccount(bool withSmtp = true)
    {
        settings.values.insert("MailClient/Kind", "imap");
        settings.values.insert("MailClient/ImapHost", "imap.example.org");
        settings.values.insert("MailClient/ImapUser", "me@example.org");
        if (withSmtp)
            settings.values.insert("MailClient/SmtpHost", "smtp.example.org");
        makeReviewedParts = [this](const std::optional<QString> &password) {
            if (wantsPassword && !password)
                throw PasswordWanted(QStringLiteral("the Drafts folder of me@example.org"));
            return fakeReviewedParts(setup, password);
        };
        open();
    }
    void threeDrafts()
    {
        setup.add("Photos (1/3)", {"ann@example.org"});
        setup.add("Photos (2/3)", {"ann@example.org", "bob@example.org"});
        setup.add("Photos (3/3)", {"bob@example.org"});
        setup.add("Someone else's", {"carl@example.org"}, false);
    }
    QString preview()
    {
        FakeDraftsFolder folder(setup);
        return planReviewedSend(folder, setup.filed).preview();
    }

    QToolButton *sendDrafts() { return button("cmdSendDrafts"); }
    void clickAt(QWidget *target)
    {
        QWidget *top = target->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                          target->mapTo(top, target->rect().center()));
    }
    void waitForDrafts()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window->isSendingDrafts(); }, 20000));
    }
    QString outcomeLine() { return control<QLabel>("lblOutcome")->text(); }
    frmReviewProgress *progress() { return window->findChild<frmReviewProgress *>(); }

    // The next question is shown for real; `answer` gets it once it is open and answers it
    // with input to its window. Its text goes into `questions`.
    void answerNextQuestion(std::function<void(QMessageBox *)> answer)
    {
        MessageBoxes::setAnswerer([this, answer](const QString &title, const QString &text) {
            questions << text;
            QTimer::singleShot(0, [answer] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
                answer(box);
                // Input the box did not take leaves it open: fail instead of waiting.
                QTimer::singleShot(2000, [box = QPointer<QMessageBox>(box)] {
                    if (box && box->isVisible()) {
                        ADD_FAILURE() << "the question was not answered";
                        box->reject();
                    }
                });
            });
            ArmedBoxes::failUnarmed();
            // The recorder of the window's boxes stays.
            MessageBoxes::setRecorder(
                [this](QMessageBox::Icon icon, const QString &title, const QString &text) {
                    boxes.push_back({icon, title, text});
                });
            return MessageBoxes::confirmModal(window.get(), title, text, QStringLiteral("Send"));
        });
    }
    static void clickButton(QMessageBox *box, const QString &caption)
    {
        for (QAbstractButton *button : box->buttons())
            if (button->text() == caption) {
                QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {},
                                  button->mapTo(box, button->rect().center()));
                return;
            }
        ADD_FAILURE() << "no button " << caption.toStdString();
    }

    FakeReviewSetup setup;
    bool wantsPassword = false;
    QStringList questions;
};

TEST_F(frmMainReviewedSendTest, TheButtonIsOfferedOnlyWhereDraftsAreFiledAndCanBeSent)
{
    openAccount();
    ASSERT_TRUE(sendDrafts()->isVisible());
    auto *account = button("cmdMailAccount");
    auto *line = control<QLabel>("lblDestination");
    // Tidy at the smallest size and at a common one: side by side, whole, inside the window.
    for (const QSize size : {window->minimumSize(), QSize(1024, 700)}) {
        window->resize(size);
        QTest::qWait(20);
        const QRect drafts(sendDrafts()->mapTo(window.get(), QPoint()), sendDrafts()->size());
        const QRect mail(account->mapTo(window.get(), QPoint()), account->size());
        const QRect text(line->mapTo(window.get(), QPoint()), line->size());
        EXPECT_TRUE(window->rect().contains(drafts)) << size.width();
        EXPECT_LE(drafts.right(), mail.left()) << size.width();
        EXPECT_LE(text.right(), drafts.left()) << size.width();
        EXPECT_GE(drafts.width(), sendDrafts()->sizeHint().width()) << size.width();
        EXPECT_GE(line->height(), line->heightForWidth(line->width())) << size.width();
        EXPECT_FALSE(drafts.intersects(
            QRect(button("cmdSend")->mapTo(window.get(), QPoint()), button("cmdSend")->size())));
    }

    // The Mail account window turns the account into a Maildir: no drafts to send.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<frmAccount *>(QApplication::activeModalWidget());
        if (!dialog || !QTest::qWaitForWindowExposed(dialog))
            return;
        poll.stop();
        clickAt(dialog->findChild<QRadioButton *>("optMaildir"));
        clickAt(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
    });
    poll.start(20);
    clickAt(account);
    poll.stop();
    EXPECT_EQ(settings.values.value("MailClient/Kind"), "maildir");
    EXPECT_FALSE(sendDrafts()->isVisible());

    // Drafts without a server to send them through: none either.
    window.reset();
    settings.values.clear();
    openAccount(false);
    EXPECT_FALSE(sendDrafts()->isVisible());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainReviewedSendTest, NothingGoesBeforeThePersonSaysSendToThePlansOwnWords)
{
    threeDrafts();
    openAccount();

    // Cancel, then Escape: asked both times, nothing sent.
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Cancel"); });
    clickAt(sendDrafts());
    waitForDrafts();
    answerNextQuestion(
        [](QMessageBox *box) { QTest::keyClick(box->windowHandle(), Qt::Key_Escape); });
    clickAt(sendDrafts());
    waitForDrafts();
    EXPECT_EQ(questions, QStringList({preview(), preview()}));
    EXPECT_EQ(setup.record->submitted, 0);
    EXPECT_TRUE(sendDrafts()->isEnabled());

    // Send: every one of the three, and the end line says so.
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Send"); });
    clickAt(sendDrafts());
    waitForDrafts();
    EXPECT_EQ(questions.size(), 3);
    EXPECT_EQ(setup.record->submitted, 3);
    EXPECT_EQ(setup.record->removed, 3);
    EXPECT_TRUE(outcomeLine().contains("Sent to ")) << outcomeLine();
    EXPECT_TRUE(outcomeLine().endsWith("3 messages")) << outcomeLine();
    EXPECT_TRUE(button("cmdSend")->isEnabled());
    // Too short for the progress window: the desktop tells, as for a Send.
    ASSERT_EQ(notifications.size(), 1);
    EXPECT_TRUE(notifications[0].endsWith("3 messages")) << notifications[0];
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainReviewedSendTest, AnEmptyFolderIsSaidInTheLineAndOnTheDesktop)
{
    setup.add("Someone else's", {"carl@example.org"}, false);
    openAccount();
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    clickAt(sendDrafts());
    waitForDrafts();
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(outcomeLine().contains(
        "No drafts of Ferrymail's Sends are in the Drafts folder of me@example.org."))
        << outcomeLine();
    EXPECT_TRUE(outcomeLine().endsWith(preview().section('\n', 1))) << outcomeLine();
    ASSERT_EQ(notifications.size(), 1);
    EXPECT_TRUE(notifications[0].startsWith("Ferrymail: No drafts of Ferrymail's Sends"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainReviewedSendTest, AFailureIsShownInABoxAndInTheLine)
{
    threeDrafts();
    setup.listFailure = "Could not list the Drafts folder of me@example.org: connection reset";
    openAccount();
    clickAt(sendDrafts());
    waitForDrafts();
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(boxes,
              (std::vector<RecordedBox>{{QMessageBox::Critical, "Ferrymail", setup.listFailure}}));
    EXPECT_TRUE(outcomeLine().endsWith("Nothing was sent: " + setup.listFailure)) << outcomeLine();

    // Refused by the server while sending: the box has the server's word.
    boxes.clear();
    setup.listFailure.clear();
    setup.submitFailure = "550 mailbox full";
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Send"); });
    clickAt(sendDrafts());
    waitForDrafts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.contains("550 mailbox full")) << boxes[0].text;
    EXPECT_TRUE(outcomeLine().contains("Photos (1/3)")) << outcomeLine();
    EXPECT_EQ(setup.record->submitted, 0);
}

TEST_F(frmMainReviewedSendTest, TheWindowsThreadNeverWaitsForTheFolder)
{
    threeDrafts();
    setup.listLatch = std::make_shared<Latch>();
    openAccount();
    clickAt(sendDrafts());
    ASSERT_TRUE(QTest::qWaitFor([this] { return setup.record->listed == 1; }, 5000));

    // The folder does not answer; the window does.
    EXPECT_FALSE(sendDrafts()->isEnabled());
    EXPECT_FALSE(button("cmdSend")->isEnabled());
    clickAt(edit("txtSubject"));
    for (const char c : std::string("typed"))
        QTest::keyClick(window->windowHandle(), c);
    EXPECT_EQ(edit("txtSubject")->text(), "typed");
    bool ticked = false;
    QTimer::singleShot(50, [&ticked] { ticked = true; });
    EXPECT_TRUE(QTest::qWaitFor([&ticked] { return ticked; }, 2000));
    // The progress comes, and its Cancel stops the listing.
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress() && progress()->isVisible(); }, 5000));
    EXPECT_FALSE(progress()->isModal());
    clickAt(progress()->findChild<QPushButton *>("cmdCancel"));
    waitForDrafts();
    EXPECT_TRUE(QTest::qWaitFor([this] { return progress() == nullptr; }, 5000));
    EXPECT_TRUE(outcomeLine().endsWith("Cancelled: nothing was sent.")) << outcomeLine();
    EXPECT_TRUE(questions.isEmpty());

    // Once the folder answers, the plan is asked about.
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Send"); });
    clickAt(sendDrafts());
    ASSERT_TRUE(QTest::qWaitFor([this] { return setup.record->listed == 2; }, 5000));
    QTest::qWait(50);
    EXPECT_TRUE(questions.isEmpty());
    setup.listLatch->open();
    waitForDrafts();
    EXPECT_EQ(questions, QStringList{preview()});
    EXPECT_EQ(setup.record->submitted, 3);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainReviewedSendTest, TheProgressNamesTheDraftAndItsEscapeStopsTheSend)
{
    threeDrafts();
    setup.submitLatch = std::make_shared<Latch>();
    openAccount();
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Send"); });
    clickAt(sendDrafts());
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress() && progress()->isVisible(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return progress()->findChild<QLabel *>("lblDraft")->text() ==
                   "Draft 1 of 3: Photos (1/3)";
        },
        5000));
    EXPECT_TRUE(window->isSendingDrafts());
    // Escape in the progress window is its Cancel, never a way to hide it.
    QTest::keyClick(progress()->windowHandle(), Qt::Key_Escape);
    waitForDrafts();
    EXPECT_TRUE(QTest::qWaitFor([this] { return progress() == nullptr; }, 5000));
    EXPECT_EQ(setup.record->submitted, 0);
    EXPECT_TRUE(outcomeLine().contains("Photos (3/3)")) << outcomeLine();
    EXPECT_TRUE(sendDrafts()->isEnabled());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainReviewedSendTest, ClosingWhileDraftsGoAsksFirst)
{
    threeDrafts();
    setup.submitLatch = std::make_shared<Latch>();
    openAccount();
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Send"); });
    clickAt(sendDrafts());
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress() && progress()->isVisible(); }, 5000));
    EXPECT_TRUE(progress()->findChild<QLabel *>("lblDraft")->text().startsWith("Draft 1 of 3"));

    int asked = 0;
    bool stop = false;
    MessageBoxes::setAnswerer([&](const QString &, const QString &text) {
        ++asked;
        EXPECT_TRUE(text.startsWith("The reviewed drafts are being sent. Stop and close?"));
        return stop;
    });
    EXPECT_FALSE(window->windowHandle()->close());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window->isSendingDrafts());
    stop = true;
    EXPECT_TRUE(window->windowHandle()->close());
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(window->isSendingDrafts());
    EXPECT_EQ(setup.record->submitted, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainReviewedSendTest, AMissingPasswordIsAskedForAsForASend)
{
    threeDrafts();
    wantsPassword = true;
    setUpOutbox = [](FakeOutbox &outbox) { outbox.wantsPassword = true; };
    openAccount();
    // Not given: nothing listed, nothing said.
    clickAt(sendDrafts());
    waitForDrafts();
    EXPECT_EQ(passwordQuestions, QStringList{"the Drafts folder of me@example.org"});
    EXPECT_EQ(setup.record->listed, 0);

    passwordAnswer = PasswordAnswer{"secret", true};
    answerNextQuestion([](QMessageBox *box) { clickButton(box, "Send"); });
    clickAt(sendDrafts());
    ASSERT_TRUE(QTest::qWaitFor([this] { return setup.record->submitted == 3; }, 10000));
    waitForDrafts();
    EXPECT_EQ(passwordQuestions.size(), 2);
    EXPECT_EQ(keyringWrites.size(), 1);
    EXPECT_TRUE(keyringWrites.value(0).endsWith("=secret"));
    {
        const std::lock_guard hold(setup.record->lock);
        EXPECT_EQ(setup.record->password, "secret");
    }

    // One password serves the account: a Send logs in with it, unasked. (The window system
    // gives the window back its activation after the question; this one does not.)
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    listFolder(makeFolder("f", {{"a", 10}}));
    fillAddresses();
    rightClickList();
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    EXPECT_EQ(passwordQuestions.size(), 2);
    EXPECT_EQ(mail->password, "secret");
    EXPECT_EQ(mail->filed().size(), 1u);
    EXPECT_TRUE(boxes.empty());
}

} // namespace
