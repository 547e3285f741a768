#pragma once

#include "mailbridge/MailAccount.h"

#include <QDialog>
#include <QString>

#include <optional>

class OAuthSignInBox;
class FindSettingsRow;
struct FoundSettings;
class PasswordStore;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class SettingsStore;

// "Mail account": where a Send files its messages, a Maildir folder or an IMAP account's
// drafts, with a Test that logs in as a Send would. OK saves the account to the settings and,
// when asked, the typed password to the keyring; the password never reaches the settings.
class frmAccount : public QDialog
{
    Q_OBJECT

public:
    frmAccount(SettingsStore &settings, PasswordStore &keyring, QWidget *owner);

    // The password typed in the dialog, remembered or not, for the outbox of this session.
    std::optional<QString> typedPassword() const;
    // Certificates Test trusts instead of the system's; only the tests' private CA needs it.
    void setTrustedCertificates(const QString &caFile);
    // The address Find settings starts from, such as the message's sender.
    void setAddress(const QString &address);

    void accept() override;

private:
    MailAccount accountFromControls() const;
    void showAccount(const MailAccount &account);
    void enableForKind();
    void cboSecurity_Changed();
    void cmdTest_Click();
    void showFound(const FoundSettings &found);
    void showStatus(const QString &text);

    SettingsStore &m_settings;
    PasswordStore &m_keyring;
    QString m_caFile;
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
    QLabel *lblStatus = nullptr;
    QDialogButtonBox *buttons = nullptr;
};
