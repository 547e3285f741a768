#pragma once

#include "app/PasswordPrompt.h"

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>

class DestinationLine;
class FileListModel;
class FileSystem;
class FolderChooser;
class PasswordStore;
class Outbox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;
class RememberedComboBox;
class ReviewedSendController;
struct ReviewedSendAccount;
struct ReviewedSendEnd;
class frmReviewProgress;
class SendController;
class SendPreview;
struct SendEnd;
struct SendRequest;
class SettingsStore;
class TickListView;
class UpDown;
class frmProgress;
enum class SendField;

// The main window: reads its controls, calls the logic, shows the outcome.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    // How the window makes its two services when it loads.
    struct ServiceFactories
    {
        std::function<std::unique_ptr<FileSystem>()> createFileSystem;
        std::function<std::unique_ptr<Outbox>(const SettingsStore &)> makeOutbox;
        // Where passwords are remembered, and how the person is asked for one; without
        // them nothing is remembered and nobody is asked.
        std::function<std::unique_ptr<PasswordStore>()> createKeyring = {};
        std::function<std::optional<PasswordAnswer>(QWidget *owner, const QString &destination)>
            askPassword = {};
        // Where a Send's end is told when it was too short for the progress window, and how a
        // folder of messages is opened; without them nothing is told or opened.
        std::function<void(const QString &title, const QString &text)> notify = {};
        // Opening answers whether it worked; without one, opening is not offered.
        std::function<bool(const QString &folder)> openFolder = {};
        // Review-then-send's parts, made on a worker from a copy of the settings, with the
        // password the person typed for the account, if any (see createReviewedSendParts);
        // without it the window never offers to send the reviewed drafts.
        std::function<ReviewedSendAccount(
            const SettingsStore &settings, const std::optional<QString> &password,
            const std::shared_ptr<PasswordStore> &keyring, const std::function<bool()> &cancelled)>
            makeReviewedSend = {};
    };

    frmMain(SettingsStore &settings, FolderChooser &folderChooser, ServiceFactories factories,
            QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up; throws Failure when a service cannot be made, and the program then ends.
    void frmMain_Form_Load();
    void frmMain_Form_Unload(bool &cancel);

    void frmMain_cboPath_Click();
    void frmMain_cboPath_Validate(bool &cancel);
    void frmMain_cmdBrowse_Click();
    void frmMain_lstFiles_MouseUp(int button, int shift, QPoint position);
    void frmMain_cmdSend_Click();
    void frmMain_cmdAbout_Click();
    // The "Mail account" dialog: its button, Ctrl+, or a right-click on Send.
    void frmMain_MailAccount();
    // Sends the drafts of earlier Sends as the person left them in the Drafts folder.
    void frmMain_cmdSendDrafts_Click();

    // True from the moment a Send starts until its end has been handled.
    bool isSending() const;
    // True from the click on "Send the reviewed drafts" until its end has been handled.
    bool isSendingDrafts() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void connectEvents();
    void onFocusChanged(QWidget *old, QWidget *now);
    SendRequest currentRequest() const;
    void updateSendToolTip();
    void layoutControls();
    void setOutcome(const QString &text);
    void focusField(SendField field);
    void rememberEntries();
    std::function<void()> folderOpener();
    bool askForPassword();
    // The person's password for destination, remembered in the keyring when they ask.
    std::optional<QString> askPasswordFor(const QString &destination);
    // The keyring the factories make, made once: its answers may come after a call returns.
    std::shared_ptr<PasswordStore> keyring();
    void showProgress();
    void onSendFinished(const SendEnd &end);
    void showSendEnd(const SendEnd &end, bool progressShown);
    Outbox &outbox() const;
    bool dropsInputWhileSending(QObject *watched, QEvent *event) const;
    void showReviewProgress();
    void onReviewPlanned(const QString &preview);
    void onReviewFinished(const ReviewedSendEnd &end);
    void showReviewEnd(const ReviewedSendEnd &end);
    // The buttons that start something, enabled while nothing runs.
    void updateStartButtons();

    SettingsStore &m_settings;
    FolderChooser &m_folderChooser;
    ServiceFactories m_factories;

    std::unique_ptr<FileSystem> objFileSystem;
    std::shared_ptr<PasswordStore> m_keyring;
    FileListModel *m_fileList = nullptr;
    std::unique_ptr<SendPreview> m_preview;
    QTimer *m_previewDelay = nullptr;
    // The outbox, the Send and how it ended; its Send ends before the services above go.
    std::unique_ptr<SendController> m_controller;
    // Deletes itself when closed, which may be after the Send it showed has gone.
    QPointer<frmProgress> m_progress;
    // Review-then-send, and its progress while shown.
    std::unique_ptr<ReviewedSendController> m_review;
    QPointer<frmReviewProgress> m_reviewProgress;

    QLabel *Label1 = nullptr;
    RememberedComboBox *cboTo = nullptr;
    QLabel *Label2 = nullptr;
    RememberedComboBox *cboFrom = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtSubject = nullptr;
    QLabel *Label4 = nullptr;
    RememberedComboBox *cboPath = nullptr;
    QToolButton *cmdBrowse = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *txtSize = nullptr;
    UpDown *UpDown1 = nullptr;
    // The controls whose Enter is the Send button's; Enter meant for any other window is not.
    QSet<QObject *> m_enterControls;
    TickListView *lstFiles = nullptr;
    // The plan a Send would follow, and how the last Send ended.
    QLabel *lblPlan = nullptr;
    QLabel *lblOutcome = nullptr;
    QToolButton *cmdSend = nullptr;
    QToolButton *cmdAbout = nullptr;
    // Where messages go, with the button to change it.
    DestinationLine *lineDestination = nullptr;
    QLabel *lblSizeLimit = nullptr; // the provider's documented limit
    void showDestination();
};
