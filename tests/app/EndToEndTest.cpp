#include "MainWindowTest.h"

#include "../mailbridge/ParsedMessage.h"
#include "app/LocalServices.h"
#include "settings/QtSettingsStore.h"

#include <QDir>
#include <QTest>

namespace {

using EndToEndTest = MainWindowTest;

// The whole way a person takes: the window, this machine's files, the Maildir outbox.
TEST_F(EndToEndTest, FilesTickedInTheWindowArriveWholeInTheOutbox)
{
    const QString folder = temp.filePath("files");
    QDir().mkpath(folder);
    const std::vector<std::pair<QString, QByteArray>> files = {
        {"a.bin", randomBytes(700 * 1024, 1)},
        {"B é.txt", randomBytes(100 * 1024, 2)},
        {"c.jpg", randomBytes(10, 3)}};
    for (const auto &[name, bytes] : files)
        writeFile(folder + "/" + name, bytes);

    QtSettingsStore store;
    ASSERT_EQ(store.read("Settings", "To0"), QString()) << "every case starts from an empty store";
    store.write("MailClient", "Outbox", temp.filePath("outbox"));
    frmMain mainWindow(store, chooser, localServices());
    mainWindow.frmMain_Form_Load();
    mainWindow.show();
    mainWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainWindow));

    QTest::keyClicks(mainWindow.findChild<QComboBox *>("cboTo"), "friend@example.net");
    QTest::keyClicks(mainWindow.findChild<QComboBox *>("cboFrom"), "Me <me@example.org>");
    QTest::keyClicks(mainWindow.findChild<QLineEdit *>("txtSubject"), "Scan-");
    auto *path = mainWindow.findChild<QComboBox *>("cboPath");
    path->setFocus();
    QTest::keyClicks(path, folder);
    QTest::keyClick(path, Qt::Key_Tab); // leaving the field lists the folder
    auto *list = mainWindow.findChild<QTreeView *>("lstFiles");
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    auto *send = mainWindow.findChild<QToolButton *>("cmdSend");
    QString tip;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (tip = send->toolTip()).startsWith("3 files in 2 messages\nabout "); }, 5000))
        << tip.toStdString();
    EXPECT_TRUE(tip.endsWith("\ninto the Maildir outbox " + temp.filePath("outbox")))
        << tip.toStdString();
    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mainWindow.isSending(); }, 20000));

    QStringList names = QDir(temp.filePath("outbox/new")).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 2);
    EXPECT_TRUE(QDir(temp.filePath("outbox/tmp")).isEmpty());
    const ParsedMessage first = parseMessageFile(temp.filePath("outbox/new/" + names[0]));
    const ParsedMessage second = parseMessageFile(temp.filePath("outbox/new/" + names[1]));
    // The tip's "about" is the real size of the two messages, to the nearest tenth of a MB.
    const qint64 mailBytes = first.raw.size() + second.raw.size();
    EXPECT_TRUE(tip.contains(QStringLiteral("about %1 MB").arg(double(mailBytes) / 1e6, 0, 'f', 1)))
        << tip.toStdString() << " for " << mailBytes;
    EXPECT_EQ(first.subject, "Scan-a.bin,B é.txt");
    EXPECT_EQ(second.subject, "Scan-c.jpg");
    EXPECT_EQ(first.to, QStringList{"friend@example.net"});
    ASSERT_EQ(first.attachments.size(), 2u);
    ASSERT_EQ(second.attachments.size(), 1u);
    const std::vector<ParsedAttachment> arrived = {first.attachments[0], first.attachments[1],
                                                   second.attachments[0]};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(arrived[i].fileName, files[i].first);
        EXPECT_TRUE(arrived[i].bytes == files[i].second) << files[i].first.toStdString();
    }

    mainWindow.close();
    EXPECT_EQ(store.read("Settings", "Path0"), folder);
    EXPECT_EQ(store.read("Settings", "To0"), "friend@example.net");
    EXPECT_TRUE(boxes.empty());
}

} // namespace
