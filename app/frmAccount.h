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
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;
class QSpinBox;
class SettingsStore;

// "Mail account": where a Send files its messages, a Maildir folder or an IMAP account's
// drafts, with a Test that logs in as a Send would, on a worker, so the window answers and
// the Test can be cancelled. OK saves the account to the settings and,
// when asked, the typed password to the keyring; the password never reaches the settings.
class frmAccount : public QDialog
{
    Q_OBJECT

public:
    frmAccount(SettingsStore &settings, PasswordStore &keyring, QWidget *owner);
    ~frmAccount() override;

    // The password typed in the dialog, remembered or not, for the outbox of this session.
    std::optional<QString> typedPassword() const;
    // Certificates Test trusts instead of the system's; only the tests' private CA needs it.
    void setTrustedCertificates(const QString &caFile);
    // The address Find settings starts from, such as the message's sender.
    void setAddress(const QString &address);

    void accept() override;
    void reject() override;

    bool isTesting() const { return m_testCancel != nullptr; }

private:
    MailAccount accountFromControls() const;
    void showAccount(const MailAccount &account);
    void enableForKind();
    void cboSecurity_Changed();
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
    QString m_caFile;
    std::shared_ptr<CancelToken> m_testCancel;
    std::shared_ptr<HeldPasswordStore> m_testTokens;
    ImapSecurity m_shownSecurity = ImapSecurity::Tls;

    QRadioButton *optMaildir = nullptr;
    QRadioButton *optImap = nullptr;
    QLineEdit *txtOutbox = nullptr;
    FindSettingsRow *rowFind = nullptr;
    QLineEdit *txtHost = nullptr;
    QSpinBox *spnPort = nullptr;
    QComboBox *cboSecurity = nullptr;
    QLineEdit *txtUser = nullptr;
    QLineEdit *txtPassword = nullptr;
    QCheckBox *chkRemember = nullptr;
    QLineEdit *txtFolder = nullptr;
    QLineEdit *txtPasswordCommand = nullptr;
    OAuthSignInBox *grpSignIn = nullptr;
    QPushButton *cmdTest = nullptr;
    QPushButton *cmdCancelTest = nullptr;
    QScrollArea *scrResult = nullptr;
    QLabel *lblStatus = nullptr;
    QToolButton *cmdDetails = nullptr;
    QLabel *lblDetails = nullptr;
    QDialogButtonBox *buttons = nullptr;
};
