#include "MainWindowTest.h"

#include <QApplication>
#include <QTest>

namespace {

using frmMainFileListTest = MainWindowTest;

// How many connections the application's focusChanged signal has.
int focusWatchers()
{
    struct Peek : QObject
    {
        using QObject::receivers;
    };
    return (qApp->*&Peek::receivers)(SIGNAL(focusChanged(QWidget *, QWidget *)));
}

// Notes focusWatchers() when it is destroyed along with its parent.
class WatcherCountAtDestruction : public QObject
{
public:
    WatcherCountAtDestruction(QObject *parent, int &count) : QObject(parent), m_count(count) {}
    ~WatcherCountAtDestruction() override { m_count = focusWatchers(); }

private:
    int &m_count;
};

TEST_F(frmMainFileListTest, OnlyLeavingTheFolderFieldListsAgainAlsoWhenSendIsClicked)
{
    open();
    fillAddresses();
    listFolder(makeFolder("f", {{"a.txt", 5}, {"b.txt", 5}}));
    rightClickList();
    // Moving around, even into the folder field, lists nothing.
    for (const char *name : {"cboTo", "txtSubject", "txtSize", "cmdAbout", "lstFiles", "cboPath"})
        control<QWidget>(name)->setFocus();
    ASSERT_EQ(ticks(), std::vector<bool>(2, true));

    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    EXPECT_EQ(ticks(), std::vector<bool>(2, false));
    EXPECT_TRUE(mail->offered.empty());
    EXPECT_EQ(boxes,
              (std::vector<RecordedBox>{{QMessageBox::Warning, "Error", "No files selected!"}}));
    // The box is about the ticks: the person is put in the list.
    EXPECT_EQ(QApplication::focusWidget(), fileList());
}

TEST_F(frmMainFileListTest, LeavingTheFolderFieldListsTheTypedFolder)
{
    open();
    const QString folder = makeFolder("typed", {{"Zeta", 1}, {"alpha", 1}});
    typeInto(combo("cboPath"), folder);
    EXPECT_EQ(lines(), QStringList{"Not a Valid Path"});
    QTest::mouseClick(edit("txtSize"), Qt::LeftButton);
    EXPECT_EQ(lines(), (QStringList{"alpha", "Zeta"}));

    typeInto(combo("cboPath"), folder + "/missing");
    QTest::keyClick(combo("cboPath"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdBrowse"));
    EXPECT_EQ(lines(), QStringList{"Not a Valid Path"});

    const QString empty = makeFolder("empty", {});
    typeInto(combo("cboPath"), empty);
    QTest::keyClick(combo("cboPath"), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(lines(), QStringList{"No files"});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainFileListTest, EnterWithAnotherFolderTypedListsItAndSendsNothing)
{
    open();
    fillAddresses();
    listFolder(makeFolder("shown", {{"old.bin", 5}}));
    rightClickList();
    const QString typed = makeFolder("typed", {{"new1.bin", 5}, {"new2.bin", 5}});
    typeInto(combo("cboPath"), typed);
    // Enter as the keyboard delivers it, to the window, with the focus still in the field.
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    EXPECT_TRUE(mail->offered.empty());
    EXPECT_EQ(lines(), (QStringList{"new1.bin", "new2.bin"}));
    EXPECT_EQ(ticks(), std::vector<bool>(2, false));
    EXPECT_EQ(QApplication::focusWidget(), combo("cboPath"));

    // The same through the button's own handler, as a click that kept the focus would.
    typeInto(combo("cboPath"), temp.filePath("shown"));
    window->frmMain_cmdSend_Click();
    EXPECT_TRUE(mail->offered.empty());
    EXPECT_EQ(lines(), QStringList{"old.bin"});

    // Once the list shows the typed folder, Enter sends what is ticked there.
    rightClickList();
    combo("cboPath")->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    waitForSend();
    ASSERT_EQ(mail->filed().size(), 1u);
    EXPECT_EQ(mail->filed()[0].attachmentPaths, QStringList{temp.filePath("shown") + "/old.bin"});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainFileListTest, TildeNamesTheHomeFolder)
{
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", temp.path().toLocal8Bit());
    open();
    makeFolder("docs", {{"b.pdf", 3}, {"a.pdf", 3}});
    writeFile(temp.filePath("top.txt"), "x");
    listFolder("~/docs");
    EXPECT_EQ(lines(), (QStringList{"a.pdf", "b.pdf"}));
    listFolder("~");
    EXPECT_EQ(lines(), QStringList{"top.txt"});
    // What was typed is what is remembered.
    EXPECT_EQ(combo("cboPath")->currentText(), "~");

    fillAddresses();
    listFolder("~/docs");
    rightClickList();
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    ASSERT_EQ(mail->filed().size(), 1u);
    EXPECT_EQ(mail->filed()[0].attachmentPaths,
              (QStringList{temp.filePath("docs/a.pdf"), temp.filePath("docs/b.pdf")}));
    qputenv("HOME", savedHome);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainFileListTest, OpeningTheFolderDropDownDoesNotListAgain)
{
    const QString first = makeFolder("first", {{"a.txt", 5}});
    const QString second = makeFolder("second", {{"b.txt", 5}});
    settings.values.insert("Settings/Path0", first);
    settings.values.insert("Settings/Path1", second);
    open();
    rightClickList();
    QComboBox *path = combo("cboPath");
    path->setFocus();

    path->showPopup();
    EXPECT_TRUE(path->view()->isVisible());
    EXPECT_EQ(ticks(), std::vector<bool>{true});
    path->hidePopup();
    EXPECT_EQ(ticks(), std::vector<bool>{true});
    EXPECT_EQ(lines(), QStringList{"a.txt"});

    // Choosing another entry lists it at once.
    QTest::keyClick(path, Qt::Key_Down);
    EXPECT_EQ(path->currentText(), second);
    EXPECT_EQ(lines(), QStringList{"b.txt"});
}

TEST_F(frmMainFileListTest, RightClickTicksEveryLineLeftClickTicksOne)
{
    open();
    listFolder(makeFolder("f", {{"a", 1}, {"b", 1}, {"c", 1}}));

    QTreeView *view = fileList();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(1, 0)).center());
    EXPECT_EQ(ticks(), std::vector<bool>(3, false));

    clickCheckBox(1);
    EXPECT_EQ(ticks(), (std::vector<bool>{false, true, false}));
    clickCheckBox(1);
    EXPECT_EQ(ticks(), std::vector<bool>(3, false));
    clickCheckBox(2);

    rightClickList();
    EXPECT_EQ(ticks(), std::vector<bool>(3, true));
    rightClickList();
    EXPECT_EQ(ticks(), std::vector<bool>(3, true));
    EXPECT_EQ(lines(), (QStringList{"a", "b", "c"}));
}

TEST_F(frmMainFileListTest, BrowseListsTheChosenFolderAndCancelKeepsEverything)
{
    open();
    const QString first = makeFolder("first", {{"x", 1}, {"y", 1}});
    chooser.answer = first;
    QTest::mouseClick(button("cmdBrowse"), Qt::LeftButton);
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(chooser.owner, window.get());
    EXPECT_EQ(chooser.title, "Select a folder");
    EXPECT_EQ(combo("cboPath")->currentText(), first);
    EXPECT_EQ(lines(), (QStringList{"x", "y"}));

    clickCheckBox(1);
    chooser.answer = std::nullopt;
    QTest::mouseClick(button("cmdBrowse"), Qt::LeftButton);
    EXPECT_EQ(chooser.calls, 2);
    EXPECT_EQ(combo("cboPath")->currentText(), first);
    EXPECT_EQ(lines(), (QStringList{"x", "y"}));
    EXPECT_EQ(ticks(), (std::vector<bool>{false, true}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainFileListTest, UnreadableRememberedFolderStillStarts)
{
    lockedFolder = makeFolder("locked", {{"a", 1}});
    settings.values.insert("Settings/Path0", lockedFolder);
    open();
    const QString denied = "Could not list the folder " + lockedFolder + ": Permission denied";
    EXPECT_EQ(boxes, (std::vector<RecordedBox>{{QMessageBox::Critical, "Ferrymail", denied}}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(combo("cboPath")->currentText(), lockedFolder);
    EXPECT_EQ(QApplication::focusWidget(), combo("cboTo"));
}

TEST_F(frmMainFileListTest, FailedListingOnLeavingShowsABoxAndTheClickStillLands)
{
    lockedFolder = makeFolder("locked", {{"a", 1}});
    open();
    QString shown;
    ArmedBoxes::showNextForReal(window.get(), [&](QMessageBox *box) {
        shown = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    typeInto(combo("cboPath"), lockedFolder);
    QTest::mouseClick(edit("txtSize"), Qt::LeftButton);

    EXPECT_TRUE(shown.contains(lockedFolder));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(window->focusWidget(), edit("txtSize"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The offscreen platform hands the activation back to no window when a box closes.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), edit("txtSize"));

    listFolder(makeFolder("open", {{"b", 1}}));
    EXPECT_EQ(lines(), QStringList{"b"});
}

TEST_F(frmMainFileListTest, TheWindowStopsWatchingTheFocusBeforeItsControlsGo)
{
    const int before = focusWatchers();
    open();
    combo("cboPath")->setFocus();
    EXPECT_GT(focusWatchers(), before);
    // The window's controls are destroyed, and give up the focus, after ~frmMain has run.
    int whileControlsGo = -1;
    new WatcherCountAtDestruction(window.get(), whileControlsGo);
    window.reset();
    EXPECT_EQ(whileControlsGo, before);
}

} // namespace
