#include "MainWindowTest.h"

#include "../mailbridge/ParsedMessage.h"
#include "app/LocalServices.h"
#include "app/frmProgress.h"
#include "common/HomePath.h"
#include "settings/QtSettingsStore.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
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
    // The line under the list says where they went, as a person looks for them.
    QString outcome = mainWindow.findChild<QLabel *>("lblOutcome")->text();
    outcome.remove(QChar(0x2060)).replace(QChar(0x00A0), QLatin1Char(' '));
    EXPECT_TRUE(outcome.endsWith(QString::fromUtf8(" \u2014 2 messages in the outbox folder ") +
                                 withHomeAsTilde(temp.filePath("outbox"))))
        << outcome.toStdString();
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

// A PasswordCommand that takes its time runs on the Send's worker, never at the window's start:
// the window opens and answers at once, and the progress window's Cancel stops the command.
TEST_F(EndToEndTest, ASlowPasswordCommandNeitherDelaysTheWindowNorOutlivesCancel)
{
    const QString folder = temp.filePath("files");
    QDir().mkpath(folder);
    writeFile(folder + "/a.bin", randomBytes(10, 1));
    const QString ran = temp.filePath("ran");
    QtSettingsStore store;
    store.write("MailClient", "Kind", "imap");
    store.write("MailClient", "ImapHost", "127.0.0.1");
    store.write("MailClient", "ImapSecurity", "none");
    store.write("MailClient", "ImapPort", "1");
    store.write("MailClient", "ImapUser", "me");
    store.write("MailClient", "PasswordCommand",
                QStringLiteral("echo $$ > '%1'; exec sleep 30").arg(ran));
    frmMain mainWindow(store, chooser, localServices());
    mainWindow.frmMain_Form_Load();
    mainWindow.show();
    mainWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainWindow));
    EXPECT_FALSE(QFile::exists(ran)) << "the command did not run at the start";

    // Real input at the window: it answers while nothing is sending.
    auto *to = mainWindow.findChild<QComboBox *>("cboTo");
    QTest::mouseClick(mainWindow.windowHandle(), Qt::LeftButton, {},
                      to->mapTo(&mainWindow, QPoint(10, to->height() / 2)));
    for (const char key : QByteArray("a@b.c"))
        QTest::keyClick(mainWindow.windowHandle(), key);
    EXPECT_EQ(to->currentText(), "a@b.c");

    QTest::keyClicks(mainWindow.findChild<QComboBox *>("cboFrom"), "me@example.org");
    auto *path = mainWindow.findChild<QComboBox *>("cboPath");
    path->setFocus();
    QTest::keyClicks(path, folder);
    QTest::keyClick(path, Qt::Key_Tab);
    auto *list = mainWindow.findChild<QAbstractItemView *>("lstFiles");
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    auto *send = mainWindow.findChild<QToolButton *>("cmdSend");
    QTest::mouseClick(mainWindow.windowHandle(), Qt::LeftButton, {},
                      send->mapTo(&mainWindow, QPoint(send->width() / 2, send->height() / 2)));
    ASSERT_TRUE(mainWindow.isSending());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QFile::exists(ran) && !fileBytes(ran).isEmpty(); }, 10'000))
        << "the Send's worker runs the command";
    const QString pid = QString::fromLatin1(fileBytes(ran).trimmed());

    QPushButton *cancel = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            auto *progress = mainWindow.findChild<frmProgress *>();
            cancel = progress ? progress->findChild<QPushButton *>("cmdCancel") : nullptr;
            return cancel && cancel->isVisible();
        },
        10'000));
    QWidget *progressWindow = cancel->window();
    QTest::mouseClick(
        progressWindow->windowHandle(), Qt::LeftButton, {},
        cancel->mapTo(progressWindow, QPoint(cancel->width() / 2, cancel->height() / 2)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mainWindow.isSending(); }, 10'000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists("/proc/" + pid); }, 10'000))
        << "the command was stopped";
    EXPECT_TRUE(boxes.empty());
}

} // namespace
