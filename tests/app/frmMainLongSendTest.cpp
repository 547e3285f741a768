#include "MainWindowTest.h"

#include "app/frmProgress.h"
#include "mailbridge/TransferMonitor.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A Send whose every message takes a while to write, and that obeys Cancel as an outbox does.
class frmMainLongSendTest : public MainWindowTest
{
protected:
    void openReady(int files, std::chrono::milliseconds perMessage)
    {
        open();
        std::vector<std::pair<QString, int>> sizes;
        for (int i = 0; i < files; ++i)
            sizes.push_back({QStringLiteral("f%1").arg(i), 100});
        const QString folder = makeFolder("f", sizes);
        fillAddresses();
        listFolder(folder);
        typeInto(edit("txtSize"), "0"); // a message per file
        rightClickList();
        mail->onFile = [this, perMessage](int, TransferMonitor &monitor) {
            ++writing;
            const auto end = std::chrono::steady_clock::now() + perMessage;
            while (std::chrono::steady_clock::now() < end) {
                if (monitor.cancelRequested())
                    throw SendCancelled();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
    }

    frmProgress *progressWindow() { return window->findChild<frmProgress *>(); }

    bool progressShown()
    {
        frmProgress *progress = progressWindow();
        return progress && progress->isVisible();
    }

    // Read while the Send runs: only the fake's counter is safe to read from here.
    int sent() { return mail->filedCount; }

    QString summary() { return progressWindow()->findChild<QLabel *>("lblSummary")->text(); }
    QPushButton *progressButton(const char *name)
    {
        return progressWindow()->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    // Presses a key the way a keyboard does: to the progress window as a whole.
    void pressInProgress(Qt::Key key)
    {
        QTest::keyClick(progressWindow()->windowHandle(), key,
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }

    // Closes the window that shows how the last Send ended.
    void closeEnd()
    {
        if (!progressWindow())
            return;
        ASSERT_TRUE(progressWindow()->hasEnded());
        pressInProgress(Qt::Key_Escape);
        ASSERT_TRUE(QTest::qWaitFor([this] { return progressWindow() == nullptr; }, 5000));
    }

    // Every message the outbox was asked for: none twice, none beyond the ticked files.
    void expectNoDuplicates(int files)
    {
        QSet<QString> subjects;
        for (const Draft &draft : mail->offered) {
            EXPECT_FALSE(subjects.contains(draft.subject)) << "filed twice: " << draft.subject;
            subjects.insert(draft.subject);
        }
        EXPECT_LE(int(mail->offered.size()), files);
    }

    std::atomic<int> writing{0};
};

TEST_F(frmMainLongSendTest, ClicksAndKeysDuringASendStartNothing)
{
    openReady(3, std::chrono::milliseconds(150));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(window->isSending());
    // A double-click, Enter in a field and a right-click, all while the first Send runs.
    QTest::mouseDClick(button("cmdSend"), Qt::LeftButton);
    QTest::keyClick(edit("txtSubject"), Qt::Key_Return);
    QTest::keyClicks(edit("txtSubject"), "typed");
    rightClickList();
    waitForSend();

    EXPECT_EQ(sent(), 3);
    EXPECT_EQ(mail->offered.size(), 3u);
    EXPECT_EQ(edit("txtSubject")->text(), "");
    EXPECT_TRUE(boxes.empty());

    // Once it has ended, the window sends again.
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    EXPECT_EQ(sent(), 6);
}

TEST_F(frmMainLongSendTest, ProgressShowsOnlyForASendThatTakesAWhile)
{
    openReady(2, std::chrono::milliseconds(0));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_EQ(sent(), 2);
    // Too short to see: the desktop tells where the messages went.
    EXPECT_EQ(notifications, QStringList{"Ferrymail: 2 drafts in the test outbox"});

    mail->onFile = [](int, TransferMonitor &) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    };
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
    // Not modal: a modal window would hold back the main window's close box.
    EXPECT_FALSE(progressWindow()->isModal());
    // The first message may be filed before the window first paints.
    const QString messages = progressWindow()->findChild<QLabel *>("lblMessages")->text();
    EXPECT_TRUE(messages == "Message 1 of 2" || messages == "Message 2 of 2") << messages;
    waitForSend();
    // The window stays with the end, until the person has read it.
    ASSERT_TRUE(progressShown());
    EXPECT_EQ(summary(), "2 drafts in the test outbox");
    EXPECT_EQ(notifications.size(), 1);
    EXPECT_EQ(sent(), 4);
    EXPECT_TRUE(boxes.empty());
    closeEnd();
}

TEST_F(frmMainLongSendTest, ALongSendThatEndsWhileThePersonWorksElsewhereIsAlsoNotified)
{
    openReady(2, std::chrono::milliseconds(400));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
    // Another window takes the activation, as another program's would.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    waitForSend();
    EXPECT_EQ(notifications, QStringList{"Ferrymail: 2 drafts in the test outbox"});
    EXPECT_TRUE(control<QLabel>("lblOutcome")->text().endsWith("2 drafts in the test outbox"));
    elsewhere.close();
    closeEnd();
}

TEST_F(frmMainLongSendTest, CancelKeepsWhatWasFiledAndTheWindowAsItWas)
{
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Escape" : "Cancel button");
        openReady(20, std::chrono::milliseconds(100));
        const auto ticksBefore = ticks();
        QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([this] { return sent() >= 1; }, 5000));
        if (byEscape)
            QTest::keyClick(progressWindow(), Qt::Key_Escape);
        else
            QTest::mouseClick(progressWindow()->findChild<QPushButton *>("cmdCancel"),
                              Qt::LeftButton);
        waitForSend();
        ASSERT_TRUE(progressShown());
        EXPECT_EQ(summary(), QStringLiteral("Stopped: %1 of 20 messages filed. The files not filed "
                                            "are still ticked: press Send to file them.")
                                 .arg(sent()));
        closeEnd();

        EXPECT_GE(sent(), 1);
        EXPECT_LT(sent(), 20);
        // The cancel lands during a message (dropped) or between two (none opened).
        EXPECT_LE(mail->offered.size() - std::size_t(sent()), 1u);
        EXPECT_TRUE(boxes.empty());
        // The lines whose messages went are unticked; the rest stay ticked.
        auto ticksAfter = ticksBefore;
        for (int line = 0; line < sent(); ++line)
            ticksAfter[std::size_t(line)] = false;
        EXPECT_EQ(ticks(), ticksAfter);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);

        mail->onFile = nullptr;
        QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
        waitForSend();
        EXPECT_EQ(mail->offered.back().subject, "f9"); // the last in list order
        EXPECT_EQ(mail->filed().size(), 20u) << "each file once";
    }
}

TEST_F(frmMainLongSendTest, ClosingDuringASendAsksWhetherToStop)
{
    openReady(20, std::chrono::milliseconds(50));
    int asked = 0;
    bool answer = false;
    MessageBoxes::setAnswerer([&](const QString &, const QString &) {
        ++asked;
        return answer;
    });
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);

    // No: the Send goes on to its end and the window stays.
    EXPECT_FALSE(window->close());
    EXPECT_EQ(asked, 1);
    waitForSend();
    EXPECT_EQ(sent(), 20);
    EXPECT_TRUE(window->isVisible());
    closeEnd();

    // Yes: cancelled, then closed with the remembered entries saved.
    answer = true;
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return sent() >= 21; }, 5000));
    EXPECT_TRUE(window->close());
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(window->isSending());
    EXPECT_LT(sent(), 40);
    EXPECT_EQ(settings.values.value("Settings/To0"), "to@example.org");
    EXPECT_TRUE(boxes.empty());
    MessageBoxes::setAnswerer({});
}

TEST_F(frmMainLongSendTest, TheCloseBoxAsksWhileTheProgressWindowShows)
{
    openReady(20, std::chrono::milliseconds(100));
    int asked = 0;
    MessageBoxes::setAnswerer([&](const QString &, const QString &text) {
        ++asked;
        EXPECT_TRUE(text.startsWith("A Send is under way. Stop it and close?"));
        return asked > 1;
    });
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
    // Nothing holds the main window back from the window system's close.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(window->windowHandle()->close());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window->isSending());
    EXPECT_TRUE(window->windowHandle()->close());
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(window->isSending());
    EXPECT_LT(sent(), 20);
    EXPECT_TRUE(boxes.empty());
    MessageBoxes::setAnswerer({});
}

TEST_F(frmMainLongSendTest, KeysInTheProgressWindowDoOnlyWhatItsButtonsSay)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Escape}) {
        SCOPED_TRACE(int(key));
        openReady(3, std::chrono::milliseconds(300));
        QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown() && sent() >= 1; }, 5000));
        pressInProgress(key);
        waitForSend();

        expectNoDuplicates(3);
        ASSERT_TRUE(progressShown());
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // No default button while the Send runs: Enter does nothing.
            EXPECT_EQ(sent(), 3);
            EXPECT_EQ(summary(), "3 drafts in the test outbox");
        } else {
            // Space presses the focused button, Cancel; Escape is Cancel.
            EXPECT_LT(sent(), 3);
            EXPECT_TRUE(summary().startsWith("Stopped: ")) << summary();
        }
        EXPECT_FALSE(progressButton("cmdOpenFolder")->isVisible());
        EXPECT_TRUE(progressButton("cmdClose")->isDefault());

        // At the end the same key closes the window, and starts nothing either.
        const int filed = sent();
        pressInProgress(key);
        EXPECT_TRUE(QTest::qWaitFor([this] { return progressWindow() == nullptr; }, 5000));
        QTest::qWait(50);
        EXPECT_FALSE(window->isSending());
        EXPECT_EQ(sent(), filed);
        EXPECT_TRUE(boxes.empty());
    }
}

TEST_F(frmMainLongSendTest, EnterInTheCloseQuestionOnlyAnswersIt)
{
    openReady(4, std::chrono::milliseconds(300));
    int asked = 0;
    // The real question, answered with Enter at its window: No, the default.
    MessageBoxes::setAnswerer([&](const QString &title, const QString &text) {
        ++asked;
        QTimer::singleShot(0, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QTest::keyClick(box->windowHandle(), Qt::Key_Return);
            // A key taken by another window leaves the question open: fail instead of waiting.
            QTimer::singleShot(2000, [box = QPointer<QMessageBox>(box)] {
                if (box && box->isVisible()) {
                    ADD_FAILURE() << "Enter did not answer the question";
                    box->done(QMessageBox::No);
                }
            });
        });
        return MessageBoxes::askModal(window.get(), title, text);
    });
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return sent() >= 1; }, 5000));
    EXPECT_FALSE(window->close());
    EXPECT_EQ(asked, 1);
    waitForSend();

    expectNoDuplicates(4);
    EXPECT_EQ(sent(), 4);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(boxes.empty());
    closeEnd();
    MessageBoxes::setAnswerer({});
}

TEST_F(frmMainLongSendTest, TheEndOffersTheFolderOfAnOutboxOnThisMachine)
{
    openReady(2, std::chrono::milliseconds(400));
    // A folder that is not there cannot be opened: not offered.
    mail->folder = temp.filePath("Outbox");
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    ASSERT_TRUE(progressShown());
    EXPECT_FALSE(progressButton("cmdOpenFolder")->isVisible());
    closeEnd();

    ASSERT_TRUE(QDir().mkpath(mail->folder));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
    EXPECT_FALSE(progressButton("cmdClose")->isVisible());
    waitForSend();
    ASSERT_TRUE(progressShown());
    QPushButton *openFolder = progressButton("cmdOpenFolder");
    ASSERT_TRUE(openFolder->isVisible());
    QTest::mouseClick(openFolder, Qt::LeftButton);
    EXPECT_EQ(openedFolders, QStringList{temp.filePath("Outbox")});
    // Still open: the folder opens beside it.
    ASSERT_TRUE(progressShown());
    QTest::mouseClick(progressButton("cmdClose"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return progressWindow() == nullptr; }, 5000));

    // Opening that fails is told in the window, not only on the terminal.
    openFolderWorks = false;
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    ASSERT_TRUE(progressShown());
    QTest::mouseClick(progressButton("cmdOpenFolder"), Qt::LeftButton);
    const QString notOpened = "Could not open the folder " + temp.filePath("Outbox") + ".";
    QString plain = summary();
    plain.remove(QChar(0x2060)).replace(QChar(0x00A0), QLatin1Char(' '));
    EXPECT_TRUE(plain.endsWith("\n" + notOpened)) << plain;
    plain = control<QLabel>("lblOutcome")->text();
    plain.remove(QChar(0x2060)).replace(QChar(0x00A0), QLatin1Char(' '));
    EXPECT_TRUE(plain.endsWith(notOpened)) << plain;
    closeEnd();
}

TEST_F(frmMainLongSendTest, AFailureKeepsItsBoxAndClosesTheProgressWindow)
{
    openReady(3, std::chrono::milliseconds(300));
    const auto slow = mail->onFile;
    mail->onFile = [slow](int send, TransferMonitor &monitor) {
        slow(send, monitor);
        if (send == 1)
            throw Failure("The disk is full.");
    };
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
    waitForSend();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.contains("The disk is full.")) << boxes[0].text;
    EXPECT_TRUE(QTest::qWaitFor([this] { return progressWindow() == nullptr; }, 5000));
    EXPECT_TRUE(notifications.isEmpty());
}

TEST_F(frmMainLongSendTest, TheMailAccountCannotChangeDuringASend)
{
    openReady(3, std::chrono::milliseconds(200));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return writing >= 1; }, 5000));
    ASSERT_TRUE(window->isSending());
    EXPECT_THROW(window->frmMain_MailAccount(), Refusal);
    // Nor does another Send start, however the click arrives.
    window->frmMain_cmdSend_Click();
    waitForSend();
    EXPECT_EQ(sent(), 3);
    expectNoDuplicates(3);
    closeEnd();
}

} // namespace
