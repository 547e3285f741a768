#include "MainWindowTest.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

namespace {

class frmMainSendTest : public MainWindowTest
{
protected:
    // Opens the window with the addresses and a subject typed in and the folder listed.
    QString openWithFolder(const std::vector<std::pair<QString, int>> &files)
    {
        open();
        const QString folder = makeFolder("f", files);
        fillAddresses();
        typeInto(edit("txtSubject"), "Photos ");
        listFolder(folder);
        return folder;
    }
};

TEST_F(frmMainSendTest, TickedFilesGoOutSplitByTheSizeLimit)
{
    const QString folder =
        openWithFolder({{"d.jpg", 1024}, {"C.jpg", 1024}, {"b.jpg", 1024}, {"a.jpg", 512}});
    typeInto(edit("txtSize"), "2");
    ASSERT_EQ(lines(), (QStringList{"a.jpg", "b.jpg", "C.jpg", "d.jpg"}));
    for (int row : {1, 2, 3})
        clickCheckBox(row);

    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();

    EXPECT_TRUE(boxes.empty());
    const auto sent = mail->filed();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].subject, "Photos b.jpg,C.jpg");
    EXPECT_EQ(sent[0].attachmentPaths, (QStringList{folder + "/b.jpg", folder + "/C.jpg"}));
    EXPECT_EQ(sent[1].subject, "Photos d.jpg");
    EXPECT_EQ(sent[1].attachmentPaths, QStringList{folder + "/d.jpg"});
    for (const auto &message : sent) {
        EXPECT_EQ(message.to, "to@example.org");
        EXPECT_EQ(message.from, "from@example.org");
    }
    EXPECT_EQ(mail->offered.size(), 2u);
}

TEST_F(frmMainSendTest, AFolderTypedButNotListedIsListedInsteadOfSent)
{
    openWithFolder({{"a", 10}, {"b", 10}});
    rightClickList();
    const QString other = makeFolder("other", {{"c", 10}, {"d", 10}});
    typeInto(combo("cboPath"), other);
    QTest::keyClick(combo("cboPath"), Qt::Key_Return);
    waitForSend();

    // Neither the old list's ticked files nor the new folder's: the person sees first.
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(mail->offered.empty());
    EXPECT_EQ(lines(), (QStringList{"c", "d"}));
    EXPECT_EQ(ticks(), std::vector<bool>(2, false));
}

TEST_F(frmMainSendTest, BadEntriesSendNothing)
{
    open();
    fillAddresses();
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    listFolder(makeFolder("f", {{"a", 10}}));
    rightClickList();
    typeInto(edit("txtSize"), "lots");
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (RecordedBox{QMessageBox::Warning, "Error", "Not a valid folder!"}));
    // A size that is no number is refused like the other entries.
    EXPECT_EQ(boxes[1].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes[1].text.contains("\"lots\""));
    EXPECT_TRUE(mail->offered.empty());
}

TEST_F(frmMainSendTest, FailureIsShownAndTheWindowKeepsWorking)
{
    const QString folder = openWithFolder({{"a", 10}, {"b", 10}});
    typeInto(edit("txtSize"), "0");
    rightClickList();
    mail->failOnPath = folder + "/b";

    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    // The box says what went wrong, what is in the outbox and what is still to send.
    EXPECT_EQ(boxes,
              (std::vector<RecordedBox>{{QMessageBox::Critical, "Ferrymail",
                                         "The outbox refused " + mail->failOnPath +
                                             "\n\nAlready in the test outbox (1 message):\nPhotos a"
                                             "\n\nNot sent (1 file): b"}}));
    ASSERT_EQ(mail->filed().size(), 1u);
    EXPECT_EQ(mail->filed()[0].attachmentPaths, QStringList{folder + "/a"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // What went is unticked; the line under the list says what is left.
    mail->failOnPath.clear();
    EXPECT_EQ(ticks(), (std::vector<bool>{false, true}));
    const QString outcome = window->findChild<QLabel *>("lblOutcome")->text();
    EXPECT_TRUE(outcome.contains(QString::fromUtf8(
        "— Filed 1 of 2 messages. The files not filed are still ticked: press Send to file "
        "them. The outbox refused /")))
        << outcome.toStdString();
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();
    EXPECT_EQ(boxes.size(), 1u);
    ASSERT_EQ(mail->filed().size(), 2u);
    EXPECT_EQ(mail->filed()[1].attachmentPaths, QStringList{folder + "/b"});
    EXPECT_TRUE(window->isVisible());
}

TEST_F(frmMainSendTest, RealRefusalBoxIsAWarningWithOkOnly)
{
    open();
    std::optional<RecordedBox> shown;
    QMessageBox::StandardButtons buttons;
    ArmedBoxes::showNextForReal(window.get(), [&](QMessageBox *box) {
        shown = RecordedBox{box->icon(), box->windowTitle(), box->text()};
        buttons = box->standardButtons();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    waitForSend();

    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, (RecordedBox{QMessageBox::Warning, "Error",
                                   "You must enter who the messages are from."}));
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window->isVisible());
}

} // namespace
