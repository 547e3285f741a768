#pragma once

#include "app/AccountTestReport.h"
#include "mailbridge/MailAccount.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

class AccessTokenSource;
class OAuthSignInBox;
class FindSettingsRow;
struct FoundSettings;
class CancelToken;
class HeldPasswordStore;

class PasswordStore;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;
class QSpinBox;
class SettingsStore;

// "Mail account": where a Send's messages go, chosen first (a Maildir folder, an IMAP
// account's drafts, out through the account's SMTP server, or this computer's sendmail), then
// only the fields that choice needs. Test logs in to each server set, as a Send would, on a
// worker, so the window answers and the Test can be cancelled. OK saves the account to the
// settings and, when asked, the typed password to the keyring; the password never reaches the
// settings. Rarely used fields wait behind Advanced, so the window fits a small screen.
class frmAccount : public QDialog
{
    Q_OBJECT

public:
    frmAccount(SettingsStore &settings, PasswordStore &keyring, QWidget *owner);
    ~frmAccount() override;

    // The password typed in the dialog, remembered or not, for the outbox of this session.
    std::optional<QString> typedPassword() const;
    // Fills in the certificate authorities to trust besides the system's, as CaFile.
    void setTrustedCertificates(const QString &caFile);
    // The address Find settings starts from, such as the message's sender.
    void setAddress(const QString &address);

    void accept() override;
    void reject() override;

    bool isTesting() const { return m_testCancel != nullptr; }

private:
    MailAccount accountFromControls() const;
    void showAccount(const MailAccount &account);
    MailAccountKind chosenKind() const;
    void enableForKind();
    void cboSecurity_Changed();
    void cboSmtpSecurity_Changed();
    void enableSaveSentCopy();
    void showAdvanced(bool shown);
    void cmdCaFile_Click();
    void fitToFields();
    void cmdTest_Click();
    void startTest(const MailAccount &account, std::shared_ptr<CancelToken> cancel,
                   std::shared_ptr<AccessTokenSource> token, std::optional<QString> password);
    void showFound(const FoundSettings &found);
    void cmdCancelTest_Click();
    void onTestFinished(const AccountTestReport &report);
    void stopTest();
    void keepRotatedTokens();
    void showTesting(bool testing);
    void showStatus(const QString &text, const QString &details = {});

    SettingsStore &m_settings;
    PasswordStore &m_keyring;
    std::shared_ptr<CancelToken> m_testCancel;
    std::shared_ptr<HeldPasswordStore> m_testTokens;
    ImapSecurity m_shownSecurity = ImapSecurity::Tls;
    ImapSecurity m_shownSmtpSecurity = ImapSecurity::Tls;

    QRadioButton *optMaildir = nullptr;
    QRadioButton *optImap = nullptr;
    QRadioButton *optSmtp = nullptr;
    QRadioButton *optSendmail = nullptr;
    QWidget *pageMaildir = nullptr;
    QWidget *pageSendmail = nullptr;
    QWidget *pageAccount = nullptr;
    QFormLayout *accountForm = nullptr;
    QLayout *serverRow = nullptr;
    QLayout *smtpServerRow = nullptr;
    QLineEdit *txtOutbox = nullptr;
    QLineEdit *txtSendmail = nullptr;
    QLineEdit *txtSmtpHost = nullptr;
    QSpinBox *spnSmtpPort = nullptr;
    QComboBox *cboSmtpSecurity = nullptr;
    QLineEdit *txtSmtpUser = nullptr;
    QComboBox *cboSaveSentCopy = nullptr;
    QToolButton *cmdAdvanced = nullptr;
    FindSettingsRow *rowFind = nullptr;
    QLineEdit *txtHost = nullptr;
    QSpinBox *spnPort = nullptr;
    QComboBox *cboSecurity = nullptr;
    QLineEdit *txtUser = nullptr;
    QLineEdit *txtPassword = nullptr;
    QCheckBox *chkRemember = nullptr;
    QLineEdit *txtFolder = nullptr;
    QLineEdit *txtPasswordCommand = nullptr;
    QLineEdit *txtCaFile = nullptr;
    QToolButton *cmdCaFile = nullptr;
    QLayout *caFileRow = nullptr;
    OAuthSignInBox *grpSignIn = nullptr;
    QPushButton *cmdTest = nullptr;
    QPushButton *cmdCancelTest = nullptr;
    QScrollArea *scrResult = nullptr;
    QLabel *lblStatus = nullptr;
    QToolButton *cmdDetails = nullptr;
    QLabel *lblDetails = nullptr;
    QDialogButtonBox *buttons = nullptr;
};
