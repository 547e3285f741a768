#pragma once

#include "mailbridge/MailAccount.h"
#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/oauth/OAuthSignIn.h"

#include <QGroupBox>

#include <functional>
#include <memory>

class CancelToken;
class PasswordStore;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// The Mail account window's part for logging in with OAuth 2.0: the provider, the client,
// the person's own token command, and "Sign in…", which signs in in the browser and keeps
// the refresh token in the keyring. Where no browser opens, the address to open is shown
// with a Copy button; Cancel stops the wait either way.
class OAuthSignInBox : public QGroupBox
{
    Q_OBJECT

public:
    // account: the account as the window's controls stand, for the server and user the
    // sign-in is kept under.
    OAuthSignInBox(PasswordStore &keyring, std::function<MailAccount()> account, QWidget *parent);
    ~OAuthSignInBox() override;

    void showAccount(const MailAccount &account);
    // Sets the OAuth settings of account from the controls.
    void fillIn(MailAccount &account) const;
    bool oauthChosen() const;
    // How "Sign in…" shows the provider's page; QDesktopServices::openUrl unless set.
    void setUrlOpener(OAuthSignIn::OpenUrl openUrl);
    // The rarely used fields: the client, a custom provider's URLs and scope, a token command.
    void setAdvancedShown(bool shown);
    void clearStatus();
    bool isSigningIn() const { return m_signIn != nullptr; }

signals:
    // The provider's IMAP server, when the person picks Microsoft or Google.
    void serverSuggested(const ProviderServer &server);
    // Rows came or went.
    void layoutChanged();

private:
    void enableControls();
    void cboProvider_Changed();
    void cmdSignIn_Click();
    void cmdCancelSignIn_Click();
    void endSignIn();
    void showStatus(const QString &text);
    void showAddress(const QString &address);

    PasswordStore &m_keyring;
    std::function<MailAccount()> m_account;
    OAuthSignIn::OpenUrl m_openUrl;
    OAuthSignIn *m_signIn = nullptr;
    std::shared_ptr<CancelToken> m_loginCancel;
    bool m_advancedShown = false;
    QFormLayout *m_form = nullptr;

    QComboBox *cboAuth = nullptr;
    QComboBox *cboProvider = nullptr;
    QLineEdit *txtClientId = nullptr;
    QLineEdit *txtClientSecret = nullptr;
    QLineEdit *txtAuthorizeUrl = nullptr;
    QLineEdit *txtTokenUrl = nullptr;
    QLineEdit *txtScope = nullptr;
    QLineEdit *txtTokenCommand = nullptr;
    QPushButton *cmdSignIn = nullptr;
    QPushButton *cmdCancelSignIn = nullptr;
    QLabel *lblSignIn = nullptr;
    // Where no browser opens: the address to open by hand.
    QLineEdit *txtSignInAddress = nullptr;
    QPushButton *cmdCopyAddress = nullptr;
};
