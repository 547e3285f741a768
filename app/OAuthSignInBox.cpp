#include "app/OAuthSignInBox.h"

#include "common/CancelToken.h"
#include "common/Failure.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/password/PasswordStore.h"

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <initializer_list>

namespace {

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The provider combo box's rows, in this order.
constexpr OAuthProvider providers[] = {OAuthProvider::Microsoft, OAuthProvider::Google,
                                       OAuthProvider::Custom};

// The one access token a sign-in just got, for the login that checks it.
class FixedTokenSource final : public AccessTokenSource
{
public:
    explicit FixedTokenSource(QString token) : m_token(std::move(token)) {}
    QString accessToken(bool) override { return m_token; }

private:
    QString m_token;
};

} // namespace

OAuthSignInBox::OAuthSignInBox(PasswordStore &keyring, std::function<MailAccount()> account,
                               QWidget *parent)
    : QGroupBox(QStringLiteral("Sign-in"), parent), m_keyring(keyring),
      m_account(std::move(account)),
      m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("grpSignIn"));
    cboAuth = named(new QComboBox(this), "cboAuth");
    cboAuth->addItems({QStringLiteral("Password"), QStringLiteral("OAuth 2.0 in the browser")});
    cboProvider = named(new QComboBox(this), "cboProvider");
    cboProvider->addItems({QStringLiteral("Microsoft (Outlook.com, Microsoft 365)"),
                           QStringLiteral("Google (Gmail)"), QStringLiteral("Other provider")});
    txtClientId = named(new QLineEdit(this), "txtClientId");
    txtClientId->setPlaceholderText(QStringLiteral("Empty: the one built in, if any"));
    txtClientSecret = named(new QLineEdit(this), "txtClientSecret");
    txtClientSecret->setPlaceholderText(QStringLiteral("Only where the provider gives one"));
    txtAuthorizeUrl = named(new QLineEdit(this), "txtAuthorizeUrl");
    txtAuthorizeUrl->setPlaceholderText(QStringLiteral("https://login.example.org/authorize"));
    txtTokenUrl = named(new QLineEdit(this), "txtTokenUrl");
    txtTokenUrl->setPlaceholderText(QStringLiteral("https://login.example.org/token"));
    txtScope = named(new QLineEdit(this), "txtScope");
    txtTokenCommand = named(new QLineEdit(this), "txtTokenCommand");
    txtTokenCommand->setPlaceholderText(QStringLiteral("Empty: the sign-in below"));
    cmdSignIn = named(new QPushButton(QStringLiteral("Sign in…"), this), "cmdSignIn");
    cmdSignIn->setAutoDefault(false);
    cmdCancelSignIn =
        named(new QPushButton(QStringLiteral("Cancel sign-in"), this), "cmdCancelSignIn");
    cmdCancelSignIn->setAutoDefault(false);
    cmdCancelSignIn->hide();
    txtSignInAddress = named(new QLineEdit(this), "txtSignInAddress");
    txtSignInAddress->setReadOnly(true);
    cmdCopyAddress = named(new QPushButton(QStringLiteral("Copy"), this), "cmdCopyAddress");
    cmdCopyAddress->setAutoDefault(false);
    lblSignIn = named(new QLabel(this), "lblSignIn");
    lblSignIn->setWordWrap(true);
    lblSignIn->setTextFormat(Qt::PlainText);
    lblSignIn->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *signInRow = new QHBoxLayout;
    signInRow->addWidget(cmdSignIn);
    signInRow->addWidget(cmdCancelSignIn);
    signInRow->addWidget(lblSignIn, 1);
    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(txtSignInAddress, 1);
    addressRow->addWidget(cmdCopyAddress);
    m_form = new QFormLayout(this);
    m_form->addRow(QStringLiteral("Log in with:"), cboAuth);
    m_form->addRow(QStringLiteral("Provider:"), cboProvider);
    m_form->addRow(QStringLiteral("Client ID:"), txtClientId);
    m_form->addRow(QStringLiteral("Client secret:"), txtClientSecret);
    m_form->addRow(QStringLiteral("Authorize URL:"), txtAuthorizeUrl);
    m_form->addRow(QStringLiteral("Token URL:"), txtTokenUrl);
    m_form->addRow(QStringLiteral("Scope:"), txtScope);
    m_form->addRow(QStringLiteral("Token command:"), txtTokenCommand);
    m_form->addRow(QString(), signInRow);
    m_form->addRow(QStringLiteral("Open in a browser:"), addressRow);
    m_form->setRowVisible(addressRow, false);

    connect(cboAuth, &QComboBox::currentIndexChanged, this, &OAuthSignInBox::enableControls);
    connect(cboProvider, &QComboBox::currentIndexChanged, this,
            &OAuthSignInBox::cboProvider_Changed);
    connect(cmdSignIn, &QPushButton::clicked, this, &OAuthSignInBox::cmdSignIn_Click);
    connect(cmdCancelSignIn, &QPushButton::clicked, this, &OAuthSignInBox::cmdCancelSignIn_Click);
    connect(cmdCopyAddress, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(txtSignInAddress->text());
        showStatus(QStringLiteral("Copied. Open the address in a browser and sign in there; "
                                  "this window waits for it."));
    });
    enableControls();
}

OAuthSignInBox::~OAuthSignInBox()
{
    if (m_loginCancel)
        m_loginCancel->cancel();
}

void OAuthSignInBox::setUrlOpener(OAuthSignIn::OpenUrl openUrl)
{
    m_openUrl = std::move(openUrl);
}

bool OAuthSignInBox::oauthChosen() const
{
    return cboAuth->currentIndex() == 1;
}

void OAuthSignInBox::showAccount(const MailAccount &account)
{
    const QSignalBlocker quiet(cboProvider);
    cboAuth->setCurrentIndex(account.imapAuth == ImapAuth::OAuth2 ? 1 : 0);
    for (int row = 0; row < int(std::size(providers)); ++row)
        if (providers[row] == account.oauthProvider)
            cboProvider->setCurrentIndex(row);
    txtClientId->setText(account.oauthClientId);
    txtClientSecret->setText(account.oauthClientSecret);
    txtAuthorizeUrl->setText(account.oauthAuthorizeUrl);
    txtTokenUrl->setText(account.oauthTokenUrl);
    txtScope->setText(account.oauthScope);
    txtTokenCommand->setText(account.tokenCommand);
    enableControls();
}

void OAuthSignInBox::fillIn(MailAccount &account) const
{
    account.imapAuth = oauthChosen() ? ImapAuth::OAuth2 : ImapAuth::Password;
    account.oauthProvider = providers[qBound(0, cboProvider->currentIndex(), 2)];
    account.oauthClientId = txtClientId->text().trimmed();
    account.oauthClientSecret = txtClientSecret->text().trimmed();
    account.oauthAuthorizeUrl = txtAuthorizeUrl->text().trimmed();
    account.oauthTokenUrl = txtTokenUrl->text().trimmed();
    account.oauthScope = txtScope->text().trimmed();
    account.tokenCommand = txtTokenCommand->text().trimmed();
}

void OAuthSignInBox::enableControls()
{
    const bool oauth = oauthChosen();
    const bool custom =
        providers[qBound(0, cboProvider->currentIndex(), 2)] == OAuthProvider::Custom;
    for (QWidget *control : std::initializer_list<QWidget *>{
             cboProvider, txtClientId, txtClientSecret, txtTokenCommand, cmdSignIn})
        control->setEnabled(oauth);
    for (QWidget *control :
         std::initializer_list<QWidget *>{txtAuthorizeUrl, txtTokenUrl, txtScope})
        control->setEnabled(oauth && custom);
    cmdSignIn->setEnabled(oauth && !m_signIn);
    // Only the rows the chosen way of logging in needs; the rarely used ones on request.
    m_form->setRowVisible(cboProvider, oauth);
    for (QWidget *row :
         std::initializer_list<QWidget *>{txtClientId, txtClientSecret, txtTokenCommand})
        m_form->setRowVisible(row, oauth && m_advancedShown);
    for (QWidget *row : std::initializer_list<QWidget *>{txtAuthorizeUrl, txtTokenUrl, txtScope})
        m_form->setRowVisible(row, oauth && custom && m_advancedShown);
    m_form->setRowVisible(m_form->rowCount() - 2, oauth || m_signIn);
    // Showing a row shows all of it; Cancel belongs to a running sign-in only.
    cmdCancelSignIn->setVisible(m_signIn != nullptr);
    emit layoutChanged();
}

void OAuthSignInBox::setAdvancedShown(bool shown)
{
    m_advancedShown = shown;
    enableControls();
}

void OAuthSignInBox::clearStatus()
{
    if (!m_signIn)
        showStatus(QString());
}

void OAuthSignInBox::cboProvider_Changed()
{
    enableControls();
    const ProviderServer server =
        providerServer(providers[qBound(0, cboProvider->currentIndex(), 2)]);
    if (!server.host.isEmpty())
        emit serverSuggested(server);
}

void OAuthSignInBox::cmdSignIn_Click()
{
    MailAccount account = m_account();
    fillIn(account);
    try {
        if (account.imapHost.isEmpty() || account.imapUser.isEmpty())
            throw Failure(QStringLiteral("Enter the server and the user first: the sign-in is "
                                         "kept for them."));
        checkMailAccount(account);
        // Where the provider names nobody, a login as the account's user tells whose the
        // sign-in is; it runs on the sign-in's worker and stops with the sign-in.
        const ImapEndpoint endpoint = imapEndpoint(account);
        auto loginCancel = std::make_shared<CancelToken>();
        m_loginCancel = loginCancel;
        TestLogin testLogin = [endpoint, loginCancel](const QString &accessToken,
                                                      const std::function<bool()> &) {
            checkImapAccount(endpoint, std::make_shared<FixedTokenSource>(accessToken),
                             *loginCancel);
        };
        // Where no browser opens, the sign-in keeps waiting and the person opens the
        // address by hand.
        auto noBrowser = std::make_shared<bool>(false);
        const auto open = [openUrl = m_openUrl, noBrowser](const QUrl &url) {
            *noBrowser = !openUrl(url);
            return true;
        };
        m_signIn = new OAuthSignIn(oauthEndpoints(account), m_keyring, oauthTokenKey(account),
                                   account.imapUser, open, std::move(testLogin), this);
        connect(m_signIn, &OAuthSignIn::signedIn, this, [this, account] {
            endSignIn();
            showStatus(QStringLiteral("Signed in as %1.").arg(account.imapUser));
        });
        connect(m_signIn, &OAuthSignIn::failed, this, [this](const QString &reason) {
            endSignIn();
            showStatus(reason);
        });
        showStatus(QStringLiteral("Sign in in the browser; this window waits for it."));
        cmdSignIn->setEnabled(false);
        cmdCancelSignIn->show();
        m_signIn->start();
        if (*noBrowser)
            showAddress(m_signIn->startUrl().toString());
    } catch (const Failure &failure) {
        delete m_signIn;
        m_signIn = nullptr;
        m_loginCancel.reset();
        cmdCancelSignIn->hide();
        showStatus(failure.description());
        enableControls();
    }
}

void OAuthSignInBox::showAddress(const QString &address)
{
    txtSignInAddress->setText(address);
    txtSignInAddress->setCursorPosition(0);
    m_form->setRowVisible(m_form->rowCount() - 1, true);
    showStatus(QStringLiteral("No web browser could be started. Copy this address into one "
                              "and sign in there; this window waits for it."));
    emit layoutChanged();
}

void OAuthSignInBox::cmdCancelSignIn_Click()
{
    endSignIn();
    showStatus(QStringLiteral("Sign-in cancelled."));
}

void OAuthSignInBox::endSignIn()
{
    // Deleting the sign-in stops its listener and drops an exchange still running.
    if (m_loginCancel)
        m_loginCancel->cancel();
    m_loginCancel.reset();
    if (m_signIn) {
        m_signIn->disconnect(this);
        m_signIn->deleteLater();
        m_signIn = nullptr;
    }
    cmdCancelSignIn->hide();
    txtSignInAddress->clear();
    m_form->setRowVisible(m_form->rowCount() - 1, false);
    enableControls();
}

void OAuthSignInBox::showStatus(const QString &text)
{
    lblSignIn->setText(text);
}
