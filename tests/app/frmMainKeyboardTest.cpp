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
        fillAddresses();
        listFolder(makeFolder("ready", {{"one.bin", 10}}));
        rightClickList();
        ASSERT_EQ(ticks(), std::vector<bool>{true});
    }

    int sends() const { return int(mail->offered.size()); }
};

TEST_F(frmMainKeyboardTest, TabVisitsTheControlsInOrderAndWraps)
{
    open();
    // The arrows beside the size have no stop of their own: Up and Down in the field step.
    // Where messages go is changed last.
    const char *order[] = {"cboTo",   "cboFrom",  "txtSubject", "cboPath",  "cmdBrowse",
                           "txtSize", "lstFiles", "cmdSend",    "cmdAbout", "cmdMailAccount"};
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
            waitForSend();
            EXPECT_EQ(sends(), ++expected) << name;
            EXPECT_EQ(QApplication::focusWidget(), field) << name;
            // Enter in the folder field sends what is ticked; it does not list again first.
            EXPECT_EQ(ticks(), std::vector<bool>{true}) << name;
        }
    }
    for (const char *name : {"cboTo", "cboFrom", "cboPath"})
        EXPECT_EQ(combo(name)->count(), 10) << name;
    EXPECT_EQ(combo("cboTo")->currentText(), "to@example.org");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainKeyboardTest, EnterInAnOpenDropDownChoosesWithoutSending)
{
    settings.values.insert("Settings/To1", "second@example.org");
    openReadyToSend();
    QComboBox *to = combo("cboTo");
    to->setFocus();
    QTest::keyClick(to, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(to->view()->isVisible());
    QTest::keyClick(to->view(), Qt::Key_Down);
    QTest::keyClick(to->view(), Qt::Key_Return);

    EXPECT_FALSE(to->view()->isVisible());
    EXPECT_EQ(to->currentText(), "second@example.org");
    EXPECT_EQ(sends(), 0);

    QTest::keyClick(to, Qt::Key_Return);
    waitForSend();
    ASSERT_EQ(mail->filed().size(), 1u);
    EXPECT_EQ(mail->filed()[0].to, "second@example.org");
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
    EXPECT_EQ(boxes[0].title, "Error");
}

using frmMainSpinnerTest = MainWindowTest;

TEST_F(frmMainSpinnerTest, ArrowsStepByAHundredFromTheTypedNumberWithinTheRange)
{
    open();
    QToolButton *arrows[2] = {};
    for (QToolButton *half : control<QWidget>("UpDown1")->findChildren<QToolButton *>())
        arrows[half->arrowType() == Qt::UpArrow ? 0 : 1] = half;
    ASSERT_TRUE(arrows[0] && arrows[1] && arrows[1]->arrowType() == Qt::DownArrow);

    // Typed text (none: keep what is there), the arrow clicked, the size then. Text out of
    // range is brought back into range first.
    const std::tuple<const char *, bool, QString> steps[] = {
        {nullptr, true, "850"},  {nullptr, false, "750"},  {nullptr, false, "650"},
        {"9950", true, "10000"}, {nullptr, true, "10000"}, {nullptr, true, "10000"},
        {"30", false, "0"},      {nullptr, false, "0"},    {"50000", false, "9900"},
        {"-400", true, "100"}};
    for (const auto &[typed, up, expected] : steps) {
        if (typed)
            typeInto(edit("txtSize"), typed);
        QTest::mouseClick(arrows[up ? 0 : 1], Qt::LeftButton);
        EXPECT_EQ(edit("txtSize")->text(), expected)
            << (typed ? typed : "") << (up ? " up" : " down");
    }
}

TEST_F(frmMainSpinnerTest, KeysStepWithinTheRange)
{
    open();
    QWidget *spinner = edit("txtSize");
    spinner->setFocus();
    QTest::keyClick(spinner, Qt::Key_Up);
    EXPECT_EQ(edit("txtSize")->text(), "850");

    for (const auto &[key, end] :
         {std::pair<Qt::Key, QString>{Qt::Key_Up, "10000"}, {Qt::Key_Down, "0"}}) {
        for (int n = 0; n < 120; ++n)
            QTest::keyClick(spinner, key);
        EXPECT_EQ(edit("txtSize")->text(), end);
    }
    EXPECT_EQ(QApplication::focusWidget(), spinner);
}

} // namespace
