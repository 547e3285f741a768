#include "MainWindowTest.h"

#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"

#include <QLabel>
#include <QTest>

namespace {

// The main window driven by input delivered to its window, as the window system delivers it.
class WindowInputTest : public MainWindowTest
{
protected:
    void clickAt(QWidget *target, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(window->windowHandle(), button, {},
                          target->mapTo(window.get(), target->rect().center()));
    }
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(window->windowHandle(), key, modifiers);
    }
    // Digits only: what the size field takes.
    void typeSize(const QString &digits)
    {
        clickAt(edit("txtSize"));
        pressKey(Qt::Key_A, Qt::ControlModifier);
        pressKey(Qt::Key_Delete);
        for (const QChar digit : digits)
            pressKey(Qt::Key(Qt::Key_0 + digit.digitValue()));
    }
    QString planLine() { return control<QLabel>("lblPlan")->text(); }
    QString outcomeLine() { return control<QLabel>("lblOutcome")->text(); }
    bool planSays(const QString &part)
    {
        return QTest::qWaitFor([&] { return planLine().contains(part); }, 10000);
    }

    // Ten files of 600 bytes, all ticked, at 1 kb: five messages of two files each.
    QString openWithTenFiles()
    {
        open();
        fillAddresses();
        std::vector<std::pair<QString, int>> sizes;
        for (int n = 0; n < 10; ++n)
            sizes.push_back({QStringLiteral("f%1").arg(n), 600});
        const QString folder = makeFolder("f", sizes);
        listFolder(folder);
        typeSize("1");
        clickAt(fileList()->viewport(), Qt::RightButton);
        EXPECT_TRUE(planSays("10 files in 5 messages")) << planLine().toStdString();
        return folder;
    }

    static QStringList pathsOf(const QString &folder, std::initializer_list<const char *> names)
    {
        QStringList paths;
        for (const char *name : names)
            paths << folder + "/" + name;
        return paths;
    }
};

using frmMainSendRestTest = WindowInputTest;

TEST_F(frmMainSendRestTest, AfterAFailureSendSendsExactlyTheRestSplitAsBefore)
{
    const QString folder = openWithTenFiles();
    mail->onFile = [](int call, TransferMonitor &) {
        if (call == 2)
            throw Failure(QStringLiteral("The outbox is full."));
    };
    clickAt(button("cmdSend"));
    waitForSend();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    ASSERT_EQ(mail->filed().size(), 2u);
    const Draft failed = mail->offered.at(2);

    // The files of the two messages that went are unticked; the rest stay ticked.
    EXPECT_EQ(ticks(),
              (std::vector<bool>{false, false, false, false, true, true, true, true, true, true}));
    EXPECT_TRUE(outcomeLine().endsWith("Filed 2 of 5 messages. The files not filed are still "
                                       "ticked: press Send to file them. The outbox is full."))
        << outcomeLine().toStdString();
    EXPECT_TRUE(planSays("6 files in 3 messages")) << planLine().toStdString();

    mail->onFile = nullptr;
    clickAt(button("cmdSend"));
    waitForSend();
    EXPECT_EQ(boxes.size(), 1u);
    const std::vector<Draft> filed = mail->filed();
    ASSERT_EQ(filed.size(), 5u);
    // The rest, once each, in the messages the first Send had planned for them.
    EXPECT_EQ(filed[2].attachmentPaths, failed.attachmentPaths);
    EXPECT_EQ(filed[2].attachmentPaths, pathsOf(folder, {"f4", "f5"}));
    EXPECT_EQ(filed[3].attachmentPaths, pathsOf(folder, {"f6", "f7"}));
    EXPECT_EQ(filed[4].attachmentPaths, pathsOf(folder, {"f8", "f9"}));
    EXPECT_EQ(filed[4].subject, "f8,f9");
}

TEST_F(frmMainSendRestTest, AMessageThatMayHaveBeenSentIsUntickedAndNamedNotSentAgain)
{
    setUpOutbox = [](FakeOutbox &outbox) { outbox.sends = true; };
    const QString folder = openWithTenFiles();
    mail->onFile = [](int call, TransferMonitor &) {
        if (call == 1)
            throw PerhapsFiled(QStringLiteral("The connection broke after the message."));
    };
    clickAt(button("cmdSend"));
    waitForSend();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(ticks(),
              (std::vector<bool>{false, false, false, false, true, true, true, true, true, true}));
    EXPECT_TRUE(outcomeLine().contains(
        "Sent 1 of 5 messages. The files not sent are still ticked: press Send to send them. "
        "\"f2,f3\" may have been sent: check before sending its files again; they are "
        "unticked."))
        << outcomeLine().toStdString();

    mail->onFile = nullptr;
    clickAt(button("cmdSend"));
    waitForSend();
    // The message that may have gone is not offered again.
    ASSERT_EQ(mail->offered.size(), 5u);
    EXPECT_EQ(mail->offered[2].attachmentPaths, pathsOf(folder, {"f4", "f5"}));
    EXPECT_EQ(mail->filed().size(), 4u);
}

using frmMainOutboxLimitTest = WindowInputTest;

TEST_F(frmMainOutboxLimitTest, AMessageAboveWhatTheOutboxTakesIsMarkedBeforeSend)
{
    // Known to the outbox (as a server's limit is), asked on a worker when the window opens.
    setUpOutbox = [](FakeOutbox &outbox) { outbox.sizeLimit = 20000; };
    open();
    fillAddresses();
    // At 5 kb: a1 and a2 in message 1, b alone in message 2, which the outbox cannot take.
    listFolder(makeFolder("f", {{"a1", 3000}, {"a2", 3000}, {"b", 30000}}));
    typeSize("5");
    clickAt(fileList()->viewport(), Qt::RightButton);
    ASSERT_TRUE(planSays("more than the outbox takes")) << planLine().toStdString();
    EXPECT_TRUE(planLine().startsWith("3 files in 2 messages, about ")) << planLine().toStdString();
    EXPECT_TRUE(planLine().contains("; message 2 is about ")) << planLine().toStdString();
    EXPECT_TRUE(planLine().endsWith(" as mail, more than the outbox takes (20.0 kB)"))
        << planLine().toStdString();
    EXPECT_TRUE(mail->offered.empty());

    // Within the limit, nothing is marked.
    clickCheckBox(2);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return planLine().startsWith("2 files in 1 message"); }, 10000))
        << planLine().toStdString();
    EXPECT_FALSE(planLine().contains(';')) << planLine().toStdString();
}

} // namespace
