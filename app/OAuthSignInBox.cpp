#include "app/OAuthSignInBox.h"

#include "common/CancelToken.h"
#include "common/Failure.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/password/PasswordStore.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
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
    lblSignIn = named(new QLabel(this), "lblSignIn");
    lblSignIn->setWordWrap(true);
    lblSignIn->setTextFormat(Qt::PlainText);
    lblSignIn->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *signInRow = new QHBoxLayout;
    signInRow->addWidget(cmdSignIn);
    signInRow->addWidget(lblSignIn, 1);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Log in with:"), cboAuth);
    form->addRow(QStringLiteral("Provider:"), cboProvider);
    form->addRow(QStringLiteral("Client ID:"), txtClientId);
    form->addRow(QStringLiteral("Client secret:"), txtClientSecret);
    form->addRow(QStringLiteral("Authorize URL:"), txtAuthorizeUrl);
    form->addRow(QStringLiteral("Token URL:"), txtTokenUrl);
    form->addRow(QStringLiteral("Scope:"), txtScope);
    form->addRow(QStringLiteral("Token command:"), txtTokenCommand);
    form->addRow(QString(), signInRow);

    connect(cboAuth, &QComboBox::currentIndexChanged, this, &OAuthSignInBox::enableControls);
    connect(cboProvider, &QComboBox::currentIndexChanged, this,
            &OAuthSignInBox::cboProvider_Changed);
    connect(cmdSignIn, &QPushButton::clicked, this, &OAuthSignInBox::cmdSignIn_Click);
    enableControls();
}

OAuthSignInBox::~OAuthSignInBox()
{
    if (m_loginCancel)
        m_loginCancel->cancel();
}

void OAuthSignInBox::setTrustedCertificates(const QString &caFile)
{
    m_caFile = caFile;
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
        ImapEndpoint endpoint = imapEndpoint(account);
        endpoint.caFile = m_caFile;
        auto loginCancel = std::make_shared<CancelToken>();
        m_loginCancel = loginCancel;
        TestLogin testLogin = [endpoint, loginCancel](const QString &accessToken,
                                                      const std::function<bool()> &) {
            checkImapAccount(endpoint, std::make_shared<FixedTokenSource>(accessToken),
                             *loginCancel);
        };
        m_signIn = new OAuthSignIn(oauthEndpoints(account), m_keyring, oauthTokenKey(account),
                                   account.imapUser, m_openUrl, std::move(testLogin), this);
        connect(m_signIn, &OAuthSignIn::signedIn, this, [this, account] {
            m_loginCancel.reset();
            showStatus(QStringLiteral("Signed in as %1.").arg(account.imapUser));
            m_signIn->deleteLater();
            m_signIn = nullptr;
            enableControls();
        });
        connect(m_signIn, &OAuthSignIn::failed, this, [this](const QString &reason) {
            m_loginCancel.reset();
            showStatus(reason);
            m_signIn->deleteLater();
            m_signIn = nullptr;
            enableControls();
        });
        showStatus(QStringLiteral("Sign in in the browser; this window waits for it."));
        cmdSignIn->setEnabled(false);
        m_signIn->start();
    } catch (const Failure &failure) {
        delete m_signIn;
        m_signIn = nullptr;
        showStatus(failure.description());
        enableControls();
    }
}

void OAuthSignInBox::showStatus(const QString &text)
{
    lblSignIn->setText(text);
}
