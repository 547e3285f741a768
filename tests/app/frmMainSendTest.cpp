#include "MainWindowTest.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace {

class frmMainSendTest : public MainWindowTest
{
protected:
    void fillAddresses()
    {
        typeInto(combo("cboTo"), QStringLiteral("to@example.org"));
        typeInto(combo("cboFrom"), QStringLiteral("from@example.org"));
        typeInto(edit("txtSubject"), QStringLiteral("Photos "));
    }
};

TEST_F(frmMainSendTest, TickedFilesGoOutSplitByTheSizeLimit)
{
    open();
    const QString folder =
        makeFolder(QStringLiteral("photos"),
                   {{"d.jpg", 1024}, {"C.jpg", 1024}, {"b.jpg", 1024}, {"a.jpg", 512}});
    fillAddresses();
    typeInto(edit("txtSize"), QStringLiteral("2"));
    listFolder(folder);
    ASSERT_EQ(lines(), (QStringList{"a.jpg", "b.jpg", "C.jpg", "d.jpg"}));
    for (int row : {1, 2, 3})
        clickCheckBox(row);

    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);

    EXPECT_TRUE(boxes.empty());
    const auto sent = mail->sentMessages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].subject, QStringLiteral("Photos b.jpg,C.jpg"));
    EXPECT_EQ(sent[0].attachments, (QStringList{folder + "/b.jpg", folder + "/C.jpg"}));
    EXPECT_EQ(sent[1].subject, QStringLiteral("Photos d.jpg"));
    EXPECT_EQ(sent[1].attachments, QStringList{folder + "/d.jpg"});
    for (const auto &message : sent) {
        EXPECT_EQ(message.to, QStringLiteral("to@example.org"));
        EXPECT_EQ(message.from, QStringLiteral("from@example.org"));
        EXPECT_TRUE(message.deleteAfterSubmit);
    }
    EXPECT_EQ(mail->items.size(), 2u);
}

TEST_F(frmMainSendTest, AttachmentsComeFromTheListedFolderNotTheEditedText)
{
    open();
    const QString listed = makeFolder(QStringLiteral("listed"), {{"a", 10}, {"b", 10}});
    const QString other = makeFolder(QStringLiteral("other"), {{"a", 10}, {"b", 10}});
    fillAddresses();
    listFolder(listed);
    rightClickList();

    typeInto(combo("cboPath"), other);
    QTest::keyClick(combo("cboPath"), Qt::Key_Return);

    EXPECT_TRUE(boxes.empty());
    const auto sent = mail->sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].attachments, (QStringList{listed + "/a", listed + "/b"}));
    EXPECT_EQ(sent[0].subject, QStringLiteral("Photos a,b"));
}

TEST_F(frmMainSendTest, BadEntriesSendNothing)
{
    open();
    fillAddresses();
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    listFolder(makeFolder(QStringLiteral("f"), {{"a", 10}}));
    rightClickList();
    typeInto(edit("txtSize"), QStringLiteral("lots"));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Not a valid folder!"));
    EXPECT_EQ(boxes[1].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[1].text.contains(QStringLiteral("\"lots\"")));
    EXPECT_TRUE(mail->calls.isEmpty());
}

TEST_F(frmMainSendTest, FailureIsShownAndTheWindowKeepsWorking)
{
    open();
    const QString folder = makeFolder(QStringLiteral("f"), {{"a", 10}, {"b", 10}});
    fillAddresses();
    typeInto(edit("txtSize"), QStringLiteral("0"));
    listFolder(folder);
    rightClickList();
    mail->failOn = QStringLiteral("Add=") + folder + QStringLiteral("/b");

    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ferrymail"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("The mail client refused: ") + mail->failOn);
    ASSERT_EQ(mail->sentMessages().size(), 1u);
    EXPECT_EQ(mail->sentMessages()[0].attachments, QStringList{folder + "/a"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    mail->failOn.clear();
    EXPECT_EQ(ticks(), std::vector<bool>(2, true));
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(mail->sentMessages().size(), 3u);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(frmMainSendTest, RealRefusalBoxIsAWarningWithOkOnly)
{
    open();
    MessageBoxes::setRecorder({});
    QMessageBox *shown = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!shown)
            return;
        icon = shown->icon();
        title = shown->windowTitle();
        text = shown->text();
        buttons = shown->standardButtons();
        QTest::keyClick(shown, Qt::Key_Return);
    });
    QTest::mouseClick(button("cmdSend"), Qt::LeftButton);

    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(title, QStringLiteral("Error"));
    EXPECT_EQ(text, QStringLiteral("You must enter who the messages are from."));
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window->isVisible());
}

} // namespace
