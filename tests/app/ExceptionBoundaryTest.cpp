#include "MainWindowTest.h"

#include "app/EventGuard.h"
#include "app/LocalServices.h"
#include "app/RunMainWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest-spi.h>

#include <new>
#include <stdexcept>

namespace {

// Nothing may cross Qt's event loop or leave main: every kind of exception ends in one box.
using ExceptionBoundaryTest = MainWindowTest;

struct Thrown
{
    const char *kind;
    std::function<void()> thrower;
    QMessageBox::Icon icon;
    QString title;
    QString textPart;
};

const Thrown thrown[] = {
    {"refusal", [] { throw Refusal("No files selected!"); }, QMessageBox::Warning, "Error",
     "No files selected!"},
    {"failure", [] { throw Failure("Cannot read /x: Permission denied"); }, QMessageBox::Critical,
     "Ferrymail", "Cannot read /x: Permission denied"},
    {"standard exception", [] { throw std::runtime_error("vector too long"); },
     QMessageBox::Critical, "Ferrymail",
     "unexpected error stopped what Ferrymail was doing: "
     "vector too long"},
    {"no memory", [] { throw std::bad_alloc(); }, QMessageBox::Critical, "Ferrymail",
     "ran out of memory"},
    {"not an exception class", [] { throw 42; }, QMessageBox::Critical, "Ferrymail",
     "unexpected error of unknown kind"},
};

// Starts the window; a start that should have failed but opened the window is ended at once
// with 99 instead of waiting for it to be closed.
int runWithoutWaiting(frmMain &mainWindow)
{
    QTimer endAnOpenWindow;
    endAnOpenWindow.setSingleShot(true);
    QObject::connect(&endAnOpenWindow, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    endAnOpenWindow.start(0);
    return runMainWindow(mainWindow);
}

void expectOneBox(const std::vector<RecordedBox> &boxes, const Thrown &row)
{
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, row.icon);
    EXPECT_EQ(boxes[0].title, row.title);
    EXPECT_TRUE(boxes[0].text.contains(row.textPart)) << boxes[0].text;
}

TEST_F(ExceptionBoundaryTest, AHandlerThrowingAnythingShowsOneBox)
{
    for (const Thrown &row : thrown) {
        SCOPED_TRACE(row.kind);
        boxes.clear();
        runGuarded(nullptr, row.thrower);
        expectOneBox(boxes, row);
    }
}

TEST_F(ExceptionBoundaryTest, AStartThatThrowsAnythingShowsOneBoxAndEndsWithOne)
{
    for (const Thrown &row : thrown) {
        SCOPED_TRACE(row.kind);
        boxes.clear();
        const auto newMail = [&row](const SettingsStore &) -> std::unique_ptr<Outbox> {
            row.thrower();
            return nullptr;
        };
        frmMain mainWindow(settings, chooser,
                           {[] { return std::make_unique<LocalFileSystem>(); }, newMail});
        EXPECT_EQ(runWithoutWaiting(mainWindow), 1);
        expectOneBox(boxes, row);
        EXPECT_FALSE(mainWindow.isVisible());
    }
}

TEST_F(ExceptionBoundaryTest, ARelativeOutboxSettingStopsTheStartNamingIt)
{
    const QString workingFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    settings.write("MailClient", "Outbox", "Mail/Outbox");
    frmMain mainWindow(settings, chooser, localServices());
    EXPECT_EQ(runWithoutWaiting(mainWindow), 1);
    QDir::setCurrent(workingFolder);
    ASSERT_EQ(boxes.size(), 1u);
    for (const char *part : {"Outbox", "\"Mail/Outbox\"", "Ferrymail.conf"})
        EXPECT_TRUE(boxes[0].text.contains(part)) << boxes[0].text;
    EXPECT_FALSE(QDir(temp.filePath("Mail")).exists()) << "nothing under the working folder";
}

TEST(UnarmedBoxes, ABoxNobodyExpectedFailsTheCaseInsteadOfWaiting)
{
    EXPECT_NONFATAL_FAILURE(MessageBoxes::showFailure(nullptr, "Cannot save the outbox"),
                            "A message box nobody expected: Ferrymail: Cannot save the outbox");
}

// A server's refusal may carry HTML: the box shows it as the characters it is.
TEST(MessageBoxText, BoxesShowServerTextAsPlainText)
{
    const QString html = "<h1>Login refused</h1><a href=\"http://evil.example\">click</a>";
    for (const bool question : {false, true}) {
        SCOPED_TRACE(question);
        Qt::TextFormat format = Qt::AutoText;
        QString shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            format = box->textFormat();
            shown = box->text();
            box->done(QMessageBox::No);
        });
        if (question)
            MessageBoxes::askModal(nullptr, "Ferrymail", html);
        else
            MessageBoxes::showModal(nullptr, QMessageBox::Critical, "Ferrymail", html);
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(shown, html);
    }
}

} // namespace
