#pragma once

#include "app/MessageBoxes.h"
#include "app/frmMain.h"
#include "filelist/FolderChooser.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/password/PasswordStore.h"
#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/FiledDrafts.h"
#include "mailbridge/review/MessageSubmission.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"
#include "support/ArmedBoxes.h"
#include "support/FakeOutbox.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <memory>
#include <optional>
#include <vector>

// Answers the Browse button with whatever the test put in `answer`.
class ScriptedFolderChooser : public FolderChooser
{
public:
    std::optional<QString> chooseFolder(QWidget *owner_, const QString &title_,
                                        const QString &start_) override
    {
        ++calls;
        owner = owner_;
        title = title_;
        start = start_;
        return answer;
    }

    std::optional<QString> answer;
    int calls = 0;
    QWidget *owner = nullptr;
    QString title;
    QString start;
};

// This machine's files, except that listing the folder `locked` fails as it would without
// permission (which a test run as root cannot arrange).
class LockableFileSystem : public LocalFileSystem
{
public:
    explicit LockableFileSystem(const QString &locked) : m_locked(locked) {}
    QStringList FileNames(const QString &folder) const override;

private:
    QString m_locked;
};

// A keyring that records what it is asked to remember.
class RecordingKeyring : public PasswordStore
{
public:
    explicit RecordingKeyring(QStringList &writes) : m_writes(writes) {}
    std::optional<QString> read(const QString &) override { return std::nullopt; }
    void write(const QString &key, const QString &password) override
    {
        m_writes << key + "=" + password;
    }
    void remove(const QString &) override {}

private:
    QStringList &m_writes;
};

struct RecordedBox
{
    QMessageBox::Icon icon;
    QString title;
    QString text;

    bool operator==(const RecordedBox &) const = default;
};

inline void PrintTo(const RecordedBox &box, std::ostream *out)
{
    *out << "{icon " << box.icon << ", " << box.title << ": " << box.text << '}';
}

// The main window over real files in a temporary folder, a fake mail client and recorded
// message boxes (each answered with OK), driven through its widgets.
class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest();
    ~MainWindowTest() override;

    // A folder under the temporary one holding files of the given sizes in bytes.
    QString makeFolder(const QString &name, const std::vector<std::pair<QString, int>> &files);

    // Makes, loads, shows and activates the window; `store` defaults to `settings`.
    void open(SettingsStore *store = nullptr);

    template <typename T> T *control(const char *name)
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QComboBox *combo(const char *name) { return control<QComboBox>(name); }
    QLineEdit *edit(const char *name) { return control<QLineEdit>(name); }
    QToolButton *button(const char *name) { return control<QToolButton>(name); }
    QTreeView *fileList() { return control<QTreeView>("lstFiles"); }
    // The text of a line's column: 1 the size, 2 the message.
    QString cell(int row, int column);

    // Replaces a field's text the way a person does: focus, select all, type.
    void typeInto(QWidget *field, const QString &text);
    // Types a folder into cboPath and leaves the field with a click elsewhere.
    void listFolder(const QString &folder);
    void fillAddresses();
    // Empties the settings this user's QtSettingsStore keeps.
    static void clearNativeSettings();

    QStringList lines();
    std::vector<bool> ticks();
    void clickCheckBox(int row);
    void rightClickList();
    // Waits until the Send that the last click or key started has ended and been handled.
    void waitForSend();

    QTemporaryDir temp;
    MemorySettingsStore settings;
    QString lockedFolder; // for the window's LockableFileSystem
    ScriptedFolderChooser chooser;
    FakeOutbox *mail = nullptr; // owned by the window
    // Sets up each outbox the window makes, before any thread uses it.
    std::function<void(FakeOutbox &)> setUpOutbox;
    std::unique_ptr<frmMain> window;
    std::vector<RecordedBox> boxes;
    // The password question: what it was asked about, and what it answers.
    QStringList passwordQuestions;
    std::optional<PasswordAnswer> passwordAnswer;
    QStringList keyringWrites; // "key=password"
    QStringList notifications; // "title: text"
    QStringList openedFolders;
    bool openFolderWorks = true;
    // Without it the window is made with no notification service at all.
    bool withNotifications = true;
    // Review-then-send's parts, made on the window's worker; without it nothing is offered.
    std::function<ReviewedSendAccount(const std::optional<QString> &password)> makeReviewedParts;
};
