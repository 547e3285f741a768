#include "MainWindowTest.h"

#include "common/Failure.h"

#include <QDir>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

QStringList LockableFileSystem::FileNames(const QString &folder) const
{
    if (!m_locked.isEmpty() && folder == m_locked)
        throw Failure(
            QStringLiteral("Could not list the folder %1: Permission denied").arg(folder));
    return LocalFileSystem::FileNames(folder);
}

MainWindowTest::MainWindowTest()
{
    MessageBoxes::setRecorder(
        [this](QMessageBox::Icon icon, const QString &title, const QString &text) {
            boxes.push_back({icon, title, text});
        });
}

MainWindowTest::~MainWindowTest()
{
    window.reset();
    ArmedBoxes::failUnarmed();
}

QString MainWindowTest::makeFolder(const QString &name,
                                   const std::vector<std::pair<QString, int>> &files)
{
    const QString folder = temp.filePath(name);
    EXPECT_TRUE(QDir().mkpath(folder));
    for (const auto &[file, size] : files)
        writeFile(folder + '/' + file, QByteArray(size, 'x'));
    return folder;
}

void MainWindowTest::open(SettingsStore *store)
{
    const auto newMail = [this](const SettingsStore &) {
        auto fake = std::make_unique<FakeOutbox>();
        mail = fake.get();
        if (setUpOutbox)
            setUpOutbox(*fake);
        return fake;
    };
    const auto newFiles = [this] { return std::make_unique<LockableFileSystem>(lockedFolder); };
    const auto newKeyring = [this]() -> std::unique_ptr<PasswordStore> {
        return std::make_unique<RecordingKeyring>(keyringWrites);
    };
    const auto ask = [this](QWidget *, const QString &destination) {
        passwordQuestions << destination;
        return passwordAnswer;
    };
    std::function<void(const QString &, const QString &)> notify;
    if (withNotifications)
        notify = [this](const QString &title, const QString &text) {
            notifications << title + ": " + text;
        };
    const auto openFolder = [this](const QString &folder) {
        openedFolders << folder;
        return openFolderWorks;
    };
    frmMain::ServiceFactories factories{newFiles, newMail, newKeyring, ask, notify, openFolder};
    if (makeReviewedParts)
        factories.makeReviewedSend =
            [this](const SettingsStore &, const std::optional<QString> &password,
                   const std::shared_ptr<PasswordStore> &,
                   const std::function<bool()> &) { return makeReviewedParts(password); };
    window = std::make_unique<frmMain>(store ? *store : settings, chooser, std::move(factories));
    window->frmMain_Form_Load();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

void MainWindowTest::typeInto(QWidget *field, const QString &text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

void MainWindowTest::listFolder(const QString &folder)
{
    typeInto(combo("cboPath"), folder);
    QTest::mouseClick(edit("txtSize"), Qt::LeftButton);
}

void MainWindowTest::fillAddresses()
{
    typeInto(combo("cboTo"), "to@example.org");
    typeInto(combo("cboFrom"), "from@example.org");
}

void MainWindowTest::waitForSend()
{
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window->isSending(); }, 20000));
}

void MainWindowTest::clearNativeSettings()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Ferrymail", "Ferrymail").clear();
}

QStringList MainWindowTest::lines()
{
    QStringList texts;
    const QAbstractItemModel *model = fileList()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, 0).data().toString();
    return texts;
}

std::vector<bool> MainWindowTest::ticks()
{
    std::vector<bool> result;
    const QAbstractItemModel *model = fileList()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        result.push_back(model->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() ==
                         Qt::Checked);
    return result;
}

QString MainWindowTest::cell(int row, int column)
{
    return fileList()->model()->index(row, column).data().toString();
}

void MainWindowTest::clickCheckBox(int row)
{
    QTreeView *view = fileList();
    const QModelIndex index = view->model()->index(row, 0);
    // Where the style draws the tick box of a plain checkable line.
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = index.data().toString();
    option.checkState = index.data(Qt::CheckStateRole).value<Qt::CheckState>();
    const QRect box =
        view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
}

void MainWindowTest::rightClickList()
{
    QTreeView *view = fileList();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->viewport()->rect().center());
}
