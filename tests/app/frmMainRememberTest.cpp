#include "MainWindowTest.h"

#include "settings/QtSettingsStore.h"
#include "support/PrivateConfigHome.h"

#include <QTest>

namespace {

class frmMainRememberTest : public MainWindowTest
{
protected:
    frmMainRememberTest()
    {
        settings.values.insert("Settings/MaxSize", "750");
        for (const char *word : {"From", "To", "Path"})
            for (int n = 0; n < 10; ++n)
                settings.values.insert(QStringLiteral("Settings/%1%2").arg(word).arg(n),
                                       QStringLiteral("%1%2").arg(word).arg(n).toLower());
    }

    QStringList saved(const char *word)
    {
        QStringList entries;
        for (int n = 0; n < 10; ++n)
            entries << settings.values.value(QStringLiteral("Settings/%1%2").arg(word).arg(n));
        return entries;
    }

    // The loaded entries of one list in the given order; the first nine by default.
    static QStringList entries(const char *word,
                               std::initializer_list<int> order = {0, 1, 2, 3, 4, 5, 6, 7, 8})
    {
        QStringList result;
        for (int n : order)
            result << QStringLiteral("%1%2").arg(word).arg(n).toLower();
        return result;
    }

    void chooseInPopup(QComboBox *field, int row)
    {
        field->setFocus();
        field->showPopup();
        QAbstractItemView *list = field->view();
        ASSERT_TRUE(list->isVisible());
        const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        QTest::mouseMove(list->viewport(), at);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        ASSERT_FALSE(list->isVisible());
    }
};

TEST_F(frmMainRememberTest, ClosingPutsTheTextsInFrontOfTheirLists)
{
    open();
    typeInto(combo("cboFrom"), "new@example.org");
    chooseInPopup(combo("cboTo"), 3);
    EXPECT_EQ(combo("cboTo")->currentText(), "to3");
    typeInto(edit("txtSize"), "abc");
    EXPECT_TRUE(settings.writes.isEmpty());

    window->close();

    EXPECT_EQ(saved("From"), QStringList{"new@example.org"} + entries("From"));
    EXPECT_EQ(saved("To"), entries("To", {3, 0, 1, 2, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(saved("Path"), entries("Path", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(settings.values.value("Settings/MaxSize"), "abc");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainRememberTest, AChoiceCountsAsChosenUntilEditedEvenBackToTheSameText)
{
    open();
    QComboBox *to = combo("cboTo");
    to->setFocus();
    for (int n = 0; n < 3; ++n)
        QTest::keyClick(to, Qt::Key_Down);
    EXPECT_EQ(to->currentText(), "to3");

    QComboBox *from = combo("cboFrom");
    from->setFocus();
    QTest::keyClick(from, Qt::Key_Down);
    QTest::keyClicks(from, "x");
    EXPECT_EQ(from->currentText(), "from1x");

    chooseInPopup(combo("cboPath"), 2);
    typeInto(combo("cboPath"), "path2");

    window->close();
    EXPECT_EQ(saved("To"), entries("To", {3, 0, 1, 2, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(saved("From"), QStringList{"from1x"} + entries("From"));
    EXPECT_EQ(saved("Path"), entries("Path", {2, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(frmMainRememberTest, TypedTextKeepsItsCaseWhenTheFieldIsLeft)
{
    // A drop-down must not swap typed text for an entry that matches it but for case.
    open();
    typeInto(combo("cboTo"), "TO3");
    QTest::mouseClick(edit("txtSubject"), Qt::LeftButton);
    EXPECT_EQ(combo("cboTo")->currentText(), "TO3");
    window->close();
    EXPECT_EQ(saved("To"), QStringList{"TO3"} + entries("To"));
}

TEST_F(frmMainRememberTest, BrowsedFolderIsRememberedAndListedAtTheNextStart)
{
    clearNativeSettings();
    const QString folder = makeFolder("kept", {{"b", 1}, {"A", 1}});
    {
        QtSettingsStore store;
        open(&store);
        chooser.answer = folder;
        QTest::mouseClick(button("cmdBrowse"), Qt::LeftButton);
        typeInto(combo("cboTo"), "to@example.org");
        window->close();
        window.reset();
    }
    QtSettingsStore store;
    EXPECT_EQ(store.read("Settings", "Path0"), folder);
    EXPECT_EQ(store.read("Settings", "Path1"), QString());
    open(&store);
    EXPECT_EQ(combo("cboPath")->currentText(), folder);
    EXPECT_EQ(combo("cboTo")->currentText(), "to@example.org");
    EXPECT_EQ(combo("cboTo")->itemText(1), QString());
    EXPECT_EQ(edit("txtSize")->text(), "750");
    EXPECT_EQ(lines(), (QStringList{"A", "b"}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(frmMainRememberTest, AnEntryThatCannotBeSavedLosesNoOtherAndIsReportedOnce)
{
    settings.failingWrites = {"Settings/MaxSize", "Settings/To3"};
    open();
    typeInto(combo("cboFrom"), "new@example.org");
    window->close();

    EXPECT_EQ(saved("From"), QStringList{"new@example.org"} + entries("From"));
    EXPECT_EQ(saved("To"), entries("To", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9})) << "To3 kept its value";
    EXPECT_EQ(saved("Path"), entries("Path", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.startsWith("Could not save the setting MaxSize: disk full"));
    EXPECT_TRUE(boxes[0].text.contains("Not saved either: To3.")) << boxes[0].text;
}

TEST_F(frmMainRememberTest, ABrokenSettingsFileStartsWithDefaultsAndIsSavedAtClose)
{
    const PrivateConfigHome home(temp.filePath("config"));
    QDir().mkpath(temp.filePath("config/Ferrymail"));
    writeFile(home.settingsFile(), randomBytes(4096, 7));
    const QString folder = makeFolder("kept", {{"a", 1}});
    {
        QtSettingsStore store;
        open(&store);
        EXPECT_EQ(edit("txtSize")->text(), "750");
        EXPECT_EQ(combo("cboTo")->currentText(), QString());
        typeInto(combo("cboTo"), "to@example.org");
        typeInto(combo("cboFrom"), "from@example.org");
        listFolder(folder);
        typeInto(edit("txtSize"), "900");
        window->close();
        window.reset();
    }
    EXPECT_TRUE(boxes.empty()) << boxes[0].text;

    QtSettingsStore store;
    open(&store);
    EXPECT_EQ(edit("txtSize")->text(), "900");
    EXPECT_EQ(combo("cboTo")->currentText(), "to@example.org");
    EXPECT_EQ(combo("cboFrom")->currentText(), "from@example.org");
    EXPECT_EQ(combo("cboPath")->currentText(), folder);
}

} // namespace
