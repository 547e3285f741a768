#include "MainWindowTest.h"

#include "app/frmProgress.h"
#include "mailbridge/TransferMonitor.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

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
        mail->onSend = [this, perMessage](int, TransferMonitor &monitor) {
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

    int sent() { return int(mail->sentMessages().size()); }

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
    EXPECT_EQ(mail->items.size(), 3u);
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

    mail->onSend = [](int, TransferMonitor &) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    };
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progressShown(); }, 5000));
    EXPECT_TRUE(progressWindow()->isModal());
    // The first message may be filed before the window first paints.
    const QString messages = progressWindow()->findChild<QLabel *>("lblMessages")->text();
    EXPECT_TRUE(messages == "Message 1 of 2" || messages == "Message 2 of 2") << messages;
    waitForSend();
    EXPECT_FALSE(progressShown());
    EXPECT_EQ(sent(), 4);
    EXPECT_TRUE(boxes.empty());
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

        EXPECT_GE(sent(), 1);
        EXPECT_LT(sent(), 20);
        // The cancel lands during a message (dropped) or between two (none opened).
        EXPECT_LE(mail->items.size() - std::size_t(sent()), 1u);
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(ticks(), ticksBefore);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);

        mail->onSend = nullptr;
        QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
        waitForSend();
        EXPECT_EQ(mail->items.back()->subject, "f9"); // the last in list order
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

} // namespace
