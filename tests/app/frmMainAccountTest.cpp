#include "MainWindowTest.h"

#include "app/frmAccount.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

using frmMainAccountTest = MainWindowTest;

// Closes the Mail account dialog once it is open, reporting that it was.
void closeAccountDialogWhenOpen(bool &opened)
{
    QTimer::singleShot(0, [&opened] {
        if (auto *dialog = qobject_cast<frmAccount *>(QApplication::activeModalWidget())) {
            opened = true;
            dialog->reject();
        }
    });
}

TEST_F(frmMainAccountTest, TheAccountIsReachedByKeyAndFromSendsMenuAndLeavesNoControlBehind)
{
    open();
    const int controls = int(window->findChildren<QWidget *>().size());

    bool opened = false;
    closeAccountDialogWhenOpen(opened);
    QTest::keyClick(combo("cboTo"), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(opened) << "Ctrl+,";

    opened = false;
    QTimer::singleShot(0, [&opened] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text(), QString::fromUtf8("Mail account…"));
        closeAccountDialogWhenOpen(opened);
        menu->actions()[0]->trigger();
        menu->close();
    });
    emit button("cmdSend")->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([&opened] { return opened; }, 2000)) << "the menu of Send";
    EXPECT_EQ(int(window->findChildren<QWidget *>().size()), controls);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainAccountTest, AMissingPasswordIsAskedForBeforeTheSend)
{
    open();
    listFolder(makeFolder("f", {{"a", 10}}));
    fillAddresses();
    rightClickList();
    mail->wantsPassword = true;

    // Cancelled: nothing is sent, nothing remembered.
    passwordAnswer = std::nullopt;
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    EXPECT_EQ(passwordQuestions, QStringList{"the test outbox"});
    EXPECT_TRUE(mail->offered.empty());

    // Answered and remembered: the outbox gets it, the keyring keeps it, the Send goes.
    passwordAnswer = PasswordAnswer{"secret", true};
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    // The Send's worker found none in the keyring; asked, the window sends again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mail->filed().empty(); }, 5000));
    waitForSend();
    EXPECT_EQ(mail->password, "secret");
    EXPECT_EQ(keyringWrites.size(), 1);
    EXPECT_TRUE(keyringWrites.value(0).endsWith("=secret"));
    EXPECT_EQ(mail->filed().size(), 1u);

    // Once known it is not asked again.
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    EXPECT_EQ(passwordQuestions.size(), 2);
    EXPECT_EQ(mail->filed().size(), 2u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainAccountTest, TheOldOutboxIsClosedOffTheWindowsThread)
{
    open();
    FakeOutbox *old = mail;
    std::atomic<QThread *> closedOn{nullptr};
    old->onDestroyed = [&closedOn] { closedOn = QThread::currentThread(); };
    // OK, as soon as the dialog is open.
    QTimer accept;
    QObject::connect(&accept, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<frmAccount *>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    accept.start(10);
    QTest::keyClick(window->windowHandle(), Qt::Key_Comma, Qt::ControlModifier);
    accept.stop();
    ASSERT_NE(mail, old) << "the account was not replaced";
    ASSERT_TRUE(QTest::qWaitFor([&closedOn] { return closedOn != nullptr; }, 5000));
    EXPECT_NE(closedOn.load(), QThread::currentThread());
    EXPECT_TRUE(boxes.empty());
}

} // namespace
