#include "MainWindowTest.h"

#include "about/frmAbout.h"
#include "settings/QtSettingsStore.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace {

using frmMainLookTest = MainWindowTest;

TEST_F(frmMainLookTest, DrawnLayoutIsTheSmallestSizeAndTheListTakesWhatTheWindowGrows)
{
    open();
    EXPECT_EQ(window->windowTitle(), "Ferrymail");
    for (const QSize &size : {window->size(), window->minimumSize()})
        EXPECT_EQ(size, QSize(464, 372));
    EXPECT_GT(window->maximumSize().width(), 2000);
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));

    const std::pair<const char *, QRect> places[] = {
        {"cboTo", QRect(96, 16, 345, 21)},      {"cboFrom", QRect(96, 40, 345, 21)},
        {"txtSubject", QRect(96, 64, 345, 19)}, {"cboPath", QRect(96, 88, 297, 21)},
        {"cmdBrowse", QRect(400, 88, 41, 19)},  {"txtSize", QRect(144, 112, 65, 19)},
        {"UpDown1", QRect(208, 112, 16, 19)},   {"lstFiles", QRect(16, 136, 433, 136)},
        {"cmdSend", QRect(152, 312, 81, 49)},   {"cmdAbout", QRect(248, 312, 81, 49)},
    };
    for (const auto &[name, where] : places) {
        QWidget *widget = control<QWidget>(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), where) << name;
    }
    EXPECT_EQ(fileList()->toolTip(), "Right-click, the Menu key or Shift+F10 ticks all files");
    EXPECT_EQ(button("cmdSend")->text(), "Send");
    EXPECT_EQ(button("cmdAbout")->text(), "About");

    window->resize(1000, 700);
    const std::pair<const char *, QRect> grown[] = {
        {"cboTo", QRect(96, 16, 881, 21)},      {"cboPath", QRect(96, 88, 833, 21)},
        {"cmdBrowse", QRect(936, 88, 41, 19)},  {"txtSize", QRect(144, 112, 65, 19)},
        {"lstFiles", QRect(16, 136, 969, 481)}, {"cmdSend", QRect(420, 640, 81, 49)},
        {"cmdAbout", QRect(516, 640, 81, 49)},
    };
    for (const auto &[name, where] : grown)
        EXPECT_EQ(control<QWidget>(name)->geometry(), where) << name;
    // Where messages go takes its room from the list, right above Send.
    const QRect line = control<QWidget>("lineDestination")->geometry();
    EXPECT_GT(line.top(), fileList()->geometry().bottom());
    EXPECT_LT(line.bottom(), button("cmdSend")->y());
    // Smaller than drawn it does not get.
    window->resize(300, 200);
    EXPECT_EQ(window->size(), QSize(464, 372));
}

TEST_F(frmMainLookTest, EmptyStoreStartsWithDefaults)
{
    open();
    EXPECT_EQ(edit("txtSize")->text(), "750");
    EXPECT_EQ(edit("txtSubject")->text(), QString());
    for (const char *name : {"cboTo", "cboFrom", "cboPath"}) {
        QComboBox *field = combo(name);
        EXPECT_EQ(field->count(), 10) << name;
        for (int n = 0; n < field->count(); ++n)
            EXPECT_EQ(field->itemText(n), QString()) << name << n;
        EXPECT_EQ(field->currentText(), QString()) << name;
    }
    EXPECT_EQ(lines(), QStringList{"Not a Valid Path"});
    EXPECT_EQ(QApplication::focusWidget(), combo("cboTo"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainLookTest, FilledStoreShowsFirstEntriesAndListsTheFolder)
{
    const QString folder = makeFolder("start", {{"c.txt", 1}, {"a.txt", 1}, {"B.txt", 1}});
    clearNativeSettings();
    QtSettingsStore store;
    store.write("Settings", "MaxSize", "1200");
    for (const QString word : {"From", "To"})
        for (int n = 0; n < 10; ++n)
            store.write("Settings", word + QString::number(n),
                        QStringLiteral("%1%2@example.org").arg(word.toLower()).arg(n));
    store.write("Settings", "Path0", folder);

    open(&store);
    EXPECT_EQ(edit("txtSize")->text(), "1200");
    EXPECT_EQ(combo("cboFrom")->currentText(), "from0@example.org");
    EXPECT_EQ(combo("cboFrom")->itemText(9), "from9@example.org");
    EXPECT_EQ(combo("cboTo")->currentText(), "to0@example.org");
    EXPECT_EQ(combo("cboPath")->currentText(), folder);
    EXPECT_EQ(combo("cboPath")->count(), 10);
    EXPECT_EQ(lines(), (QStringList{"a.txt", "B.txt", "c.txt"}));
    EXPECT_EQ(ticks(), std::vector<bool>(3, false));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainLookTest, AboutIsModalAndBlocksTheWindow)
{
    open();
    // Input through the window system, where a modal window holds it back; a Send with
    // nothing listed would leave a refusal box.
    const auto clickSend = [this] {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          button("cmdSend")->geometry().center());
    };
    bool wasAbout = false;
    QString title;
    std::size_t boxesWhileOpen = 0;
    QTimer::singleShot(0, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        wasAbout = qobject_cast<frmAbout *>(modal) != nullptr;
        title = modal->windowTitle();
        clickSend();
        QTest::keyClick(window->windowHandle(), Qt::Key_Return);
        boxesWhileOpen = boxes.size();
        QTest::keyClick(modal, Qt::Key_Return);
    });
    QTest::mouseClick(button("cmdAbout"), Qt::LeftButton);

    EXPECT_TRUE(wasAbout);
    EXPECT_EQ(title, "About Ferrymail");
    EXPECT_EQ(boxesWhileOpen, 0u);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    clickSend();
    EXPECT_EQ(boxes.size(), 1u);
}

} // namespace
