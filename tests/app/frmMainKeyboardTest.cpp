#include "MainWindowTest.h"

#include <QApplication>
#include <QTest>

namespace {

class frmMainKeyboardTest : public MainWindowTest
{
protected:
    // A state in which a Send leaves a trace: a listed folder with its one file ticked.
    void openReadyToSend()
    {
        open();
        const QString folder = makeFolder(QStringLiteral("ready"), {{"one.bin", 10}});
        typeInto(combo("cboTo"), QStringLiteral("to@example.org"));
        typeInto(combo("cboFrom"), QStringLiteral("from@example.org"));
        listFolder(folder);
        rightClickList();
        ASSERT_EQ(ticks(), std::vector<bool>{true});
    }

    int sends() const { return int(mail->calls.count(QStringLiteral("Send"))); }
};

TEST_F(frmMainKeyboardTest, TabVisitsTheControlsInOrderAndWraps)
{
    open();
    const char *order[] = {"cboTo",   "cboFrom", "txtSubject", "cboPath", "cmdBrowse",
                           "txtSize", "UpDown1", "lstFiles",   "cmdSend", "cmdAbout"};
    ASSERT_EQ(QApplication::focusWidget(), combo("cboTo"));
    for (std::size_t n = 1; n <= std::size(order); ++n) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), control<QWidget>(order[n % std::size(order)]))
            << "after " << order[n - 1];
    }
    for (std::size_t n = std::size(order); n > 0; --n) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), control<QWidget>(order[n - 1]))
            << "back from " << order[n % std::size(order)];
    }
}

TEST_F(frmMainKeyboardTest, EnterInAFieldSendsAndKeepsTheFocus)
{
    openReadyToSend();
    int expected = 0;
    // The folder field comes last: leaving it lists the folder again, which clears the ticks.
    for (const char *name : {"cboTo", "cboFrom", "txtSubject", "txtSize", "cboPath"}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            QWidget *field = control<QWidget>(name);
            field->setFocus();
            QTest::keyClick(field, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            EXPECT_EQ(sends(), ++expected) << name;
            EXPECT_EQ(QApplication::focusWidget(), field) << name;
            // Enter in the folder field sends what is ticked; it does not list again first.
            EXPECT_EQ(ticks(), std::vector<bool>{true}) << name;
        }
    }
    for (const char *name : {"cboTo", "cboFrom", "cboPath"})
        EXPECT_EQ(combo(name)->count(), 10) << name;
    EXPECT_EQ(combo("cboTo")->currentText(), QStringLiteral("to@example.org"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainKeyboardTest, EnterInAnOpenDropDownChoosesWithoutSending)
{
    settings.values.insert(QStringLiteral("Settings/To1"), QStringLiteral("second@example.org"));
    openReadyToSend();
    QComboBox *to = combo("cboTo");
    to->setFocus();
    QTest::keyClick(to, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(to->view()->isVisible());
    QTest::keyClick(to->view(), Qt::Key_Down);
    QTest::keyClick(to->view(), Qt::Key_Return);

    EXPECT_FALSE(to->view()->isVisible());
    EXPECT_EQ(to->currentText(), QStringLiteral("second@example.org"));
    EXPECT_EQ(sends(), 0);

    QTest::keyClick(to, Qt::Key_Return);
    ASSERT_EQ(mail->sentMessages().size(), 1u);
    EXPECT_EQ(mail->sentMessages()[0].to, QStringLiteral("second@example.org"));
}

TEST_F(frmMainKeyboardTest, EscapeDoesNothing)
{
    openReadyToSend();
    for (const char *name : {"cboTo", "txtSubject", "txtSize", "lstFiles", "cmdSend", "cboPath"}) {
        QWidget *target = control<QWidget>(name);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible()) << name;
        EXPECT_EQ(QApplication::focusWidget(), target) << name;
    }
    EXPECT_EQ(sends(), 0);
    EXPECT_EQ(ticks(), std::vector<bool>{true});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainKeyboardTest, EnterOnAButtonPressesThatButton)
{
    open();
    chooser.answer = std::nullopt;
    button("cmdBrowse")->setFocus();
    QTest::keyClick(button("cmdBrowse"), Qt::Key_Return);
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_TRUE(boxes.empty());

    button("cmdSend")->setFocus();
    QTest::keyClick(button("cmdSend"), Qt::Key_Return);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Error"));
}

class frmMainSpinnerTest : public MainWindowTest
{
protected:
    QToolButton *arrow(Qt::ArrowType type)
    {
        for (QToolButton *half : control<QWidget>("UpDown1")->findChildren<QToolButton *>())
            if (half->arrowType() == type)
                return half;
        ADD_FAILURE() << "no arrow " << type;
        return nullptr;
    }
    QString size() { return edit("txtSize")->text(); }
};

TEST_F(frmMainSpinnerTest, ArrowsStepByAHundredFromTheTypedNumber)
{
    open();
    QToolButton *up = arrow(Qt::UpArrow);
    QToolButton *down = arrow(Qt::DownArrow);
    ASSERT_TRUE(up && down);

    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("850"));
    QTest::mouseClick(down, Qt::LeftButton);
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("650"));

    typeInto(edit("txtSize"), QStringLiteral("9950"));
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("10000"));
    for (int n = 0; n < 3; ++n) {
        QTest::mouseClick(up, Qt::LeftButton);
        EXPECT_EQ(size(), QStringLiteral("10000"));
    }

    typeInto(edit("txtSize"), QStringLiteral("30"));
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("0"));
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("0"));
}

TEST_F(frmMainSpinnerTest, KeysStepWithinTheRange)
{
    open();
    QWidget *spinner = control<QWidget>("UpDown1");
    typeInto(edit("txtSize"), QStringLiteral("750"));
    spinner->setFocus();
    QTest::keyClick(spinner, Qt::Key_Up);
    EXPECT_EQ(size(), QStringLiteral("850"));

    for (int n = 0; n < 120; ++n)
        QTest::keyClick(spinner, Qt::Key_Up);
    EXPECT_EQ(size(), QStringLiteral("10000"));

    for (int n = 0; n < 120; ++n)
        QTest::keyClick(spinner, Qt::Key_Down);
    EXPECT_EQ(size(), QStringLiteral("0"));
    EXPECT_EQ(QApplication::focusWidget(), spinner);
}

TEST_F(frmMainSpinnerTest, OutOfRangeTextIsBroughtBackIntoRange)
{
    open();
    QToolButton *up = arrow(Qt::UpArrow);
    QToolButton *down = arrow(Qt::DownArrow);
    ASSERT_TRUE(up && down);
    typeInto(edit("txtSize"), QStringLiteral("50000"));
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("9900"));
    typeInto(edit("txtSize"), QStringLiteral("-400"));
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(size(), QStringLiteral("100"));
}

} // namespace
