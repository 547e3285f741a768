#include "MainWindowTest.h"

#include "about/frmAbout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

namespace {

// The plan before a Send and the outcome after it, driven as a person drives the window.
class frmMainPlanTest : public MainWindowTest
{
protected:
    QLabel *planLine() { return control<QLabel>("lblPlan"); }
    QLabel *outcomeLine() { return control<QLabel>("lblOutcome"); }

    // A click as the window system delivers it, where it lands on the window.
    void clickAt(QWidget *target)
    {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          target->mapTo(window.get(), target->rect().center()));
    }
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(window->windowHandle(), key, modifiers);
    }

    QStringList column(int n)
    {
        QStringList texts;
        for (int row = 0; row < fileList()->model()->rowCount(); ++row)
            texts << cell(row, n);
        return texts;
    }

    bool planSays(const QString &start)
    {
        return QTest::qWaitFor([&] { return planLine()->text().startsWith(start); }, 5000);
    }
};

TEST_F(frmMainPlanTest, AShortSendLeavesItsOutcomeUnderTheListWithoutANotificationService)
{
    withNotifications = false;
    open();
    fillAddresses();
    listFolder(makeFolder("f", {{"a", 10}, {"b", 10}}));
    typeInto(edit("txtSize"), "0"); // a message per file
    rightClickList();
    EXPECT_FALSE(outcomeLine()->isVisible());

    clickAt(button("cmdSend"));
    waitForSend();
    ASSERT_EQ(mail->filed().size(), 2u);
    ASSERT_TRUE(outcomeLine()->isVisible());
    const QString text = outcomeLine()->text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d \u2014 2 drafts in the test "
                                                  "outbox$"))
                    .match(text)
                    .hasMatch())
        << text.toStdString();
    // Below the list, above the buttons, inside the window.
    EXPECT_GE(outcomeLine()->y(), fileList()->geometry().bottom());
    EXPECT_LE(outcomeLine()->geometry().bottom(), button("cmdSend")->y());
    EXPECT_TRUE(boxes.empty());

    // It stays through ticks and typing, and goes with the next listing.
    clickCheckBox(0);
    typeInto(edit("txtSubject"), "S ");
    EXPECT_EQ(outcomeLine()->text(), text);
    listFolder(combo("cboPath")->currentText());
    EXPECT_FALSE(outcomeLine()->isVisible());
}

TEST_F(frmMainPlanTest, ColumnsAndLineShowTheSendsOwnPlanAsTicksAndTheSizeChange)
{
    open();
    fillAddresses();
    listFolder(makeFolder("f", {{"a.pdf", 300 * 1024}, {"b.mkv", 5200000}, {"z.txt", 10 * 1024}}));
    typeInto(edit("txtSize"), "2000");
    EXPECT_EQ(column(1), (QStringList{"307.2 kB", "5.2 MB", "10.2 kB"}));
    EXPECT_EQ(column(2), (QStringList{"", "", ""}));
    EXPECT_TRUE(planSays("No files ticked"));

    rightClickList();
    // The video closes the message the smaller file opened, as the Send will do.
    ASSERT_TRUE(planSays("3 files in 2 messages, about ")) << planLine()->text().toStdString();
    EXPECT_EQ(column(2), (QStringList{"1", "1", "2"}));
    EXPECT_TRUE(planLine()->text().contains("; message 1 is "));
    EXPECT_TRUE(planLine()->text().endsWith(": b.mkv alone is 5.2 MB"))
        << planLine()->text().toStdString();
    EXPECT_TRUE(button("cmdSend")->toolTip().startsWith("3 files in 2 messages\nabout "));

    clickCheckBox(2);
    ASSERT_TRUE(planSays("2 files in 1 message, about "));
    EXPECT_EQ(column(2), (QStringList{"1", "1", ""}));

    typeInto(edit("txtSize"), "10000");
    // Within 10,000 kb nothing is named.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !planLine()->text().contains("alone"); }, 5000))
        << planLine()->text().toStdString();
    EXPECT_TRUE(planLine()->text().startsWith("2 files in 1 message, about 7."));

    // And the Send follows the plan it showed.
    typeInto(edit("txtSize"), "2000");
    clickCheckBox(2);
    ASSERT_TRUE(planSays("3 files in 2 messages"));
    clickAt(button("cmdSend"));
    waitForSend();
    ASSERT_EQ(mail->filed().size(), 2u);
    EXPECT_EQ(mail->filed()[0].attachmentPaths.size(), 2);
    EXPECT_EQ(mail->filed()[1].attachmentPaths.size(), 1);
}

TEST_F(frmMainPlanTest, ShiftF10AndTheMenuKeyTickAllAsARightClickDoes)
{
    open();
    listFolder(makeFolder("f", {{"a", 1}, {"b", 1}, {"c", 1}}));
    fileList()->setFocus();
    pressKey(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(ticks(), std::vector<bool>(3, true));

    clickCheckBox(0);
    clickCheckBox(2);
    ASSERT_EQ(ticks(), (std::vector<bool>{false, true, false}));
    pressKey(Qt::Key_Menu);
    EXPECT_EQ(ticks(), std::vector<bool>(3, true));
    // F10 alone is no right-click.
    clickCheckBox(1);
    pressKey(Qt::Key_F10);
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
}

TEST_F(frmMainPlanTest, AfterAnErrorBoxTheFocusIsOnTheFieldAtFault)
{
    open();
    const QString folder = makeFolder("f", {{"keep.bin", 10}, {"v3.bin", 10}});
    fillAddresses();
    listFolder(folder);
    rightClickList();

    typeInto(combo("cboTo"), "ann example");
    clickAt(button("cmdSend"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "\"ann example\" is not an e-mail address.");
    EXPECT_EQ(QApplication::focusWidget(), combo("cboTo"));

    typeInto(combo("cboTo"), "to@example.org");
    typeInto(combo("cboFrom"), "");
    clickAt(button("cmdSend"));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "You must enter who the messages are from.");
    EXPECT_EQ(QApplication::focusWidget(), combo("cboFrom"));

    typeInto(combo("cboFrom"), "from@example.org");
    typeInto(edit("txtSize"), "lots");
    clickAt(button("cmdSend"));
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(QApplication::focusWidget(), edit("txtSize"));

    // A file that went after it was ticked: the planning refusal says nothing was filed.
    typeInto(edit("txtSize"), "750");
    ASSERT_TRUE(QFile::remove(folder + "/v3.bin"));
    clickAt(button("cmdSend"));
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[3].text, "Could not read the size of " + folder +
                                 "/v3.bin: No such file or directory. Nothing was filed.");
    EXPECT_EQ(QApplication::focusWidget(), fileList());
    EXPECT_TRUE(mail->offered.empty());
}

TEST_F(frmMainPlanTest, ThePickerOpensAtTheFolderShownElseAtHome)
{
    open();
    chooser.answer = std::nullopt;
    clickAt(button("cmdBrowse"));
    EXPECT_EQ(chooser.start, QDir::homePath());

    const QString folder = makeFolder("shown", {{"a", 1}});
    listFolder(folder);
    clickAt(button("cmdBrowse"));
    EXPECT_EQ(chooser.calls, 2);
    EXPECT_EQ(chooser.start, folder);
}

TEST_F(frmMainPlanTest, TheListSortsAsThePersonsLanguageDoesWithoutRegardToCase)
{
    const QStringList names = {QString::fromUtf8("Zoë's birthday.mov"),
                               QString::fromUtf8("ärger über Öl.docx"),
                               "zebra.txt",
                               "Apfel.txt",
                               QString::fromUtf8("Ähnlich.txt"),
                               "apfel.txt"};
    std::vector<std::pair<QString, int>> files;
    for (const QString &name : names)
        files.push_back({name, 1});
    const QString folder = makeFolder("f", files);
    const QStringList alphabetical = {QString::fromUtf8("Ähnlich.txt"),
                                      "Apfel.txt",
                                      "apfel.txt",
                                      QString::fromUtf8("ärger über Öl.docx"),
                                      "zebra.txt",
                                      QString::fromUtf8("Zoë's birthday.mov")};
    // Swedish keeps its own letters after z: the order is the locale's, not a fixed table.
    const QStringList swedish = {"Apfel.txt",
                                 "apfel.txt",
                                 "zebra.txt",
                                 QString::fromUtf8("Zoë's birthday.mov"),
                                 QString::fromUtf8("Ähnlich.txt"),
                                 QString::fromUtf8("ärger über Öl.docx")};
    const std::pair<const char *, QStringList> cases[] = {
        {"de_DE", alphabetical}, {"en_GB", alphabetical}, {"sv_SE", swedish}};
    const QLocale before;
    for (const auto &[locale, expected] : cases) {
        SCOPED_TRACE(locale);
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        open();
        listFolder(folder);
        EXPECT_EQ(lines(), expected);
    }
    QLocale::setDefault(before);
}

TEST_F(frmMainPlanTest, EachSendsFoldersAndAddressesJoinTheHistory)
{
    open();
    const QString first = makeFolder("first", {{"a", 1}});
    const QString second = makeFolder("second", {{"b", 1}});
    for (const auto &[folder, to] :
         {std::pair{first, "ann@example.org"}, {second, "bob@example.org"}}) {
        typeInto(combo("cboTo"), to);
        typeInto(combo("cboFrom"), "me@example.org");
        listFolder(folder);
        rightClickList();
        clickAt(button("cmdSend"));
        waitForSend();
    }
    ASSERT_EQ(mail->filed().size(), 2u);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(settings.values.value("Settings/Path0"), second);
    EXPECT_EQ(settings.values.value("Settings/Path1"), first);
    EXPECT_EQ(settings.values.value("Settings/To0"), "bob@example.org");
    EXPECT_EQ(settings.values.value("Settings/To1"), "ann@example.org");
    EXPECT_EQ(settings.values.value("Settings/From0"), "me@example.org");
    EXPECT_NE(settings.values.value("Settings/From1"), "me@example.org");
}

// For the README: run with --gtest_also_run_disabled_tests, FERRYMAIL_SCREENSHOTS=folder and
// QT_QPA_PLATFORM=xcb under a real display (xvfb-run) for the desktop's fonts.
TEST_F(frmMainPlanTest, DISABLED_SavesScreenshots)
{
    const QString shots = qEnvironmentVariable("FERRYMAIL_SCREENSHOTS");
    ASSERT_FALSE(shots.isEmpty());
    settings.values["MailClient/Kind"] = "maildir";
    settings.values["MailClient/Outbox"] = "~/.local/share/Ferrymail/Outbox";
    open();
    mail->where = QStringLiteral("the Maildir outbox ~/.local/share/Ferrymail/Outbox");
    typeInto(combo("cboTo"), "ann@example.org");
    typeInto(combo("cboFrom"), "me@example.org");
    typeInto(edit("txtSubject"), "Holiday: ");
    typeInto(edit("txtSize"), "2000");
    listFolder(makeFolder("Holiday 2026", {{"beach.jpg", 1800000},
                                           {"clip.mkv", 5200000},
                                           {"dinner.jpg", 950000},
                                           {"harbour.jpg", 1200000},
                                           {"Notes.txt", 4000},
                                           {QString::fromUtf8("ärger über Öl.docx"), 24000},
                                           {"route.gpx", 310000},
                                           {QString::fromUtf8("Zoë's birthday.mov"), 1500000}}));
    rightClickList();
    clickCheckBox(5);
    clickAt(button("cmdSend"));
    waitForSend();
    clickCheckBox(5);
    clickCheckBox(4);
    ASSERT_TRUE(planSays("7 files"));
    QTest::qWait(200);
    EXPECT_TRUE(window->grab().save(shots + "/main-minimum.png"));
    window->resize(900, 620);
    QTest::qWait(200);
    EXPECT_TRUE(window->grab().save(shots + "/main-large.png"));

    frmAbout about(QStringLiteral("Each message is filed whole into the outbox folder."),
                   window.get());
    about.show();
    QTest::qWait(200);
    EXPECT_TRUE(about.grab().save(shots + "/about.png"));
}

} // namespace
