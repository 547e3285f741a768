#include "SignedIn.h"
#include "TokenDovecot.h"
#include "app/OAuthSignInBox.h"
#include "app/frmAccount.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"
#include "support/oauth/AuthorizationServer.h"

#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTest>
#include <QToolButton>

namespace {

class SignInWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    template <typename W> W *control(const char *name)
    {
        W *widget = dialog.findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(QWidget *widget)
    {
        ASSERT_TRUE(widget->isEnabled()) << widget->objectName();
        // Near the left edge: a radio button takes clicks on its circle and label only.
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }
    void type(const char *name, const QString &text)
    {
        QLineEdit *field = control<QLineEdit>(name);
        click(field);
        field->setFocus();
        field->selectAll();
        if (text.isEmpty())
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Backspace);
        for (const QChar c : text)
            QTest::keyClick(dialog.windowHandle(), c.toLatin1());
        EXPECT_EQ(field->text(), text) << name;
    }
    void choose(const char *name, int row)
    {
        auto *box = control<QComboBox>(name);
        click(box);
        box->setCurrentIndex(row);
        box->hidePopup();
    }
    QString signInStatus() { return control<QLabel>("lblSignIn")->text(); }
    // OAuth 2.0 with a custom provider: the tests' own authorization server.
    void signInWithTheTestsServer()
    {
        choose("cboAuth", 1);
        choose("cboProvider", 2);
        // The client and a provider's own URLs are rarely needed: they wait behind Advanced.
        if (!control<QToolButton>("cmdAdvanced")->isChecked())
            click(control<QToolButton>("cmdAdvanced"));
        type("txtClientId", AuthorizationServer::clientId());
        type("txtAuthorizeUrl", server.url("/authorize").toString());
        type("txtTokenUrl", server.url("/token").toString());
        type("txtScope", "imap offline_access openid");
    }

    // A new refresh token with every refresh, as some providers hand out.
    AuthorizationServer server{{"--rotate"}};
    MemorySettingsStore settings;
    MemoryPasswordStore keyring;
    frmAccount dialog{settings, keyring, nullptr};
};

TEST_F(SignInWindow, SignInInThePlayedBrowserKeepsTheTokenInTheKeyringOnly)
{
    click(control<QRadioButton>("optImap"));
    type("txtHost", "127.0.0.1");
    control<QComboBox>("cboSecurity")->setCurrentIndex(2);
    control<QSpinBox>("spnPort")->setValue(1143);
    type("txtUser", "me");
    EXPECT_FALSE(control<QPushButton>("cmdSignIn")->isEnabled()) << "password chosen";
    signInWithTheTestsServer();

    PlayedBrowser browser("me");
    dialog.findChild<OAuthSignInBox *>()->setUrlOpener(
        [&browser](const QUrl &url) { return browser.open(url); });
    click(control<QPushButton>("cmdSignIn"));
    EXPECT_FALSE(control<QPushButton>("cmdSignIn")->isEnabled()) << "one sign-in at a time";
    const QString saw = browser.output();
    EXPECT_TRUE(saw.contains("You may close this page")) << saw;
    EXPECT_TRUE(saw.contains("second request: refused")) << saw;
    QTRY_COMPARE_WITH_TIMEOUT(signInStatus(), QString("Signed in as me."), 20'000);
    EXPECT_TRUE(control<QPushButton>("cmdSignIn")->isEnabled());

    const QString key = "imap-oauth2://me@127.0.0.1:1143";
    ASSERT_TRUE(keyring.passwords.contains(key));
    const QString refreshToken = keyring.passwords.value(key);

    dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(settings.values.value("MailClient/ImapAuth"), "oauth2");
    EXPECT_EQ(settings.values.value("MailClient/OAuth2Provider"), "custom");
    EXPECT_EQ(settings.values.value("MailClient/OAuth2TokenUrl"), server.url("/token").toString());
    for (const QString &value : settings.values)
        EXPECT_FALSE(value.contains(refreshToken));
}

TEST_F(SignInWindow, WithoutABrowserTheAddressIsShownToCopyAndCancelStopsTheWait)
{
    click(control<QRadioButton>("optImap"));
    type("txtHost", "127.0.0.1");
    control<QComboBox>("cboSecurity")->setCurrentIndex(2);
    control<QSpinBox>("spnPort")->setValue(1143);
    type("txtUser", "me");
    signInWithTheTestsServer();
    dialog.findChild<OAuthSignInBox *>()->setUrlOpener([](const QUrl &) { return false; });
    auto *address = control<QLineEdit>("txtSignInAddress");
    EXPECT_FALSE(address->isVisible());
    click(control<QPushButton>("cmdSignIn"));

    ASSERT_TRUE(address->isVisible());
    const QUrl url(address->text());
    EXPECT_EQ(url.host(), "127.0.0.1") << address->text().toStdString();
    EXPECT_TRUE(signInStatus().contains("No web browser")) << signInStatus().toStdString();
    click(control<QPushButton>("cmdCopyAddress"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), address->text());
    // The sign-in waits for the browser the person opens: its listener answers.
    QTcpSocket listener;
    listener.connectToHost("127.0.0.1", quint16(url.port()));
    EXPECT_TRUE(listener.waitForConnected(5000));
    listener.abort();

    auto *cancel = control<QPushButton>("cmdCancelSignIn");
    ASSERT_TRUE(cancel->isVisible());
    click(cancel);
    EXPECT_EQ(signInStatus(), "Sign-in cancelled.");
    EXPECT_FALSE(address->isVisible());
    EXPECT_TRUE(control<QPushButton>("cmdSignIn")->isEnabled());
    QTest::qWait(0); // the sign-in goes with the next turn of the loop, its listener with it
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QTcpSocket late;
            late.connectToHost("127.0.0.1", quint16(url.port()));
            return !late.waitForConnected(1000);
        }(),
        5000);
    EXPECT_TRUE(keyring.passwords.isEmpty());
}

TEST_F(SignInWindow, AProviderFillsInItsServerAndASignInNeedsTheUser)
{
    click(control<QRadioButton>("optImap"));
    choose("cboAuth", 1);
    choose("cboProvider", 1);
    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "imap.gmail.com");
    EXPECT_EQ(control<QSpinBox>("spnPort")->value(), 993);
    EXPECT_FALSE(control<QLineEdit>("txtTokenUrl")->isEnabled()) << "Google's is built in";
    choose("cboProvider", 0);
    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "outlook.office365.com");
    type("txtHost", "imap.example.org");
    choose("cboProvider", 1);
    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "imap.example.org") << "typed: kept";

    bool opened = false;
    dialog.findChild<OAuthSignInBox *>()->setUrlOpener([&opened](const QUrl &) {
        opened = true;
        return true;
    });
    click(control<QPushButton>("cmdSignIn"));
    EXPECT_TRUE(signInStatus().contains("Enter the server and the user first")) << signInStatus();
    type("txtUser", "me@gmail.com");
    click(control<QPushButton>("cmdSignIn"));
    EXPECT_FALSE(opened) << "no client ID: no browser";
    EXPECT_TRUE(signInStatus().contains("README")) << signInStatus();
}

// Test with an OAuth account logs in with the kept sign-in's token, off the window's thread.
TEST_F(SignInWindow, TestLogsInWithTheKeptSignIn)
{
    QTemporaryDir folder;
    DovecotServer dovecot(tokenLogins(server, folder, "xoauth2 oauthbearer"));
    click(control<QRadioButton>("optImap"));
    type("txtHost", "127.0.0.1");
    control<QComboBox>("cboSecurity")->setCurrentIndex(2);
    control<QSpinBox>("spnPort")->setValue(dovecot.imapPort());
    type("txtUser", DovecotServer::user);
    signInWithTheTestsServer();
    const QString key = QStringLiteral("imap-oauth2://%1@127.0.0.1:%2")
                            .arg(DovecotServer::user)
                            .arg(dovecot.imapPort());
    const QString signedIn = signedInRefreshToken(server, keyring, key, DovecotServer::user);

    click(control<QPushButton>("cmdTest"));
    EXPECT_TRUE(dialog.isTesting()) << "the token server is asked beside the window";
    QTRY_VERIFY_WITH_TIMEOUT(control<QLabel>("lblStatus")->text().startsWith("Logged in as"),
                             20'000);
    EXPECT_TRUE(control<QLabel>("lblStatus")->text().contains(DovecotServer::draftsFolder))
        << control<QLabel>("lblStatus")->text().toStdString();
    // The refresh token the server handed out in place of the used one is the one kept.
    QTRY_VERIFY_WITH_TIMEOUT(keyring.passwords.value(key) != signedIn, 5000);
    const QString kept = keyring.passwords.value(key);
    EXPECT_TRUE(kept.startsWith("rt-")) << kept;
    EXPECT_NE(kept, signedIn);
}

// Test for an account that sends through SMTP signed in with OAuth 2.0: Dovecot's submission
// asks the tests' authorization server about each token it is given over XOAUTH2.
TEST_F(SignInWindow, TestLogsInToTheSmtpServerWithATokenAndSaysWhyOneIsRefused)
{
    QTemporaryDir folder;
    DovecotOptions options = tokenLogins(server, folder, "xoauth2");
    options.submission = true;
    DovecotServer dovecot(options);
    dialog.setTrustedCertificates(dovecot.caFile());
    click(control<QRadioButton>("optSmtp"));
    type("txtSmtpHost", "127.0.0.1");
    control<QComboBox>("cboSmtpSecurity")->setCurrentIndex(0);
    control<QSpinBox>("spnSmtpPort")->setValue(dovecot.submissionsPort());
    type("txtUser", DovecotServer::user);
    signInWithTheTestsServer();
    MailAccount account;
    account.imapUser = DovecotServer::user;
    const QString key = oauthTokenKey(account);
    const QString signedIn = signedInRefreshToken(server, keyring, key, DovecotServer::user);
    ASSERT_FALSE(signedIn.isEmpty());

    const struct
    {
        const char *name;
        QString refreshToken; // kept in the keyring
        QString tokenCommand;
        QStringList said;
    } rows[] = {
        {"the kept sign-in",
         signedIn,
         "",
         {"Logged in as " + QString(DovecotServer::user) + " on 127.0.0.1."}},
        {"a token the server never issued",
         signedIn,
         "echo at-never-issued",
         {"Cannot log in to the mail server 127.0.0.1", "refused the sign-in", "Sign in again"}},
        {"a kept sign-in the token server no longer knows",
         "rt-forgotten",
         "",
         {"Sign in again", "expired or was revoked"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        keyring.passwords.insert(key, row.refreshToken);
        type("txtTokenCommand", row.tokenCommand);
        const int introspections = server.counts()["introspections"].toInt();
        click(control<QPushButton>("cmdTest"));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isTesting(), 30'000);
        const QString status = control<QLabel>("lblStatus")->text();
        for (const QString &part : row.said)
            EXPECT_TRUE(status.contains(part, Qt::CaseInsensitive)) << status.toStdString();
        const bool works = row.tokenCommand.isEmpty() && row.refreshToken == signedIn;
        EXPECT_EQ(status.contains("Logged in"), works) << status.toStdString();
        // Read by a person: no protocol dump, no token.
        EXPECT_FALSE(status.contains("at-never-issued")) << status.toStdString();
        EXPECT_FALSE(status.contains('{')) << status.toStdString();
        if (!row.tokenCommand.isEmpty()) {
            EXPECT_GT(server.counts()["introspections"].toInt(), introspections)
                << "the server asked about the token";
        }
        // What a Test rotated is kept before the next row replaces it.
        QTest::qWait(200);
    }
}

namespace {

// Counts the paints a widget gets.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

// A token server that answers after 20 s: the window is not waiting for it.
TEST_F(SignInWindow, WhileTheTokenServerTakesItsTimeTheWindowRepaintsAndCancelStopsTheTest)
{
    // A server that greets and takes tokens, so that the login gets to asking for one.
    QTemporaryDir dovecotFolder;
    DovecotServer dovecot(tokenLogins(server, dovecotFolder, "xoauth2 oauthbearer"));
    click(control<QRadioButton>("optImap"));
    type("txtHost", "127.0.0.1");
    control<QComboBox>("cboSecurity")->setCurrentIndex(2);
    control<QSpinBox>("spnPort")->setValue(dovecot.imapPort());
    type("txtUser", DovecotServer::user);
    signInWithTheTestsServer();
    type("txtTokenUrl", server.url("/hostile/late").toString());
    const QString key = QStringLiteral("imap-oauth2://%1@127.0.0.1:%2")
                            .arg(DovecotServer::user)
                            .arg(dovecot.imapPort());
    keyring.passwords.insert(key, "rt-kept");

    // Real input, as the window system delivers it: at the window, not the widget.
    const auto clickAt = [this](QWidget *widget) {
        QTest::mouseClick(
            dialog.windowHandle(), Qt::LeftButton, {},
            widget->mapTo(&dialog, QPoint(widget->width() / 2, widget->height() / 2)));
    };
    clickAt(control<QPushButton>("cmdTest"));
    ASSERT_TRUE(dialog.isTesting());
    QLineEdit *folder = control<QLineEdit>("txtFolder");
    PaintCounter painted(folder);
    clickAt(folder);
    for (const char key : QByteArray("Drafts"))
        QTest::keyClick(dialog.windowHandle(), key);
    EXPECT_EQ(folder->text(), "Drafts") << "keys reach the window while the token is awaited";
    QTRY_VERIFY_WITH_TIMEOUT(painted.paints > 0, 5000);
    EXPECT_TRUE(dialog.isTesting()) << "the token server has not answered yet";

    clickAt(control<QPushButton>("cmdCancelTest"));
    EXPECT_FALSE(dialog.isTesting());
    EXPECT_EQ(control<QLabel>("lblStatus")->text(), "Test cancelled.");
    EXPECT_EQ(keyring.passwords.value(key), "rt-kept");
}

} // namespace
