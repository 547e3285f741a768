#include "app/frmAccount.h"

#include "app/ComboChoices.h"

#include "app/EventGuard.h"
#include "app/FindSettingsRow.h"
#include "app/MessageBoxes.h"
#include "app/OAuthSignInBox.h"
#include "common/CancelToken.h"
#include "common/Failure.h"
#include "common/ThreadHandOver.h"
#include "mailbridge/discovery/FoundSettings.h"
#include "mailbridge/discovery/MailDomain.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/wiring/TokenSources.h"
#include "mailbridge/password/HeldPasswordStore.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/password/PasswordStore.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <initializer_list>
#include <iterator>

namespace {

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The combo box's rows, in this order.
constexpr ImapSecurity securities[] = {ImapSecurity::Tls, ImapSecurity::StartTls,
                                       ImapSecurity::None};

QLabel *resultLabel(QWidget *parent, const char *name)
{
    auto *label = named(new QLabel(parent), name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

frmAccount::frmAccount(SettingsStore &settings, PasswordStore &keyring, QWidget *owner)
    : QDialog(owner), m_settings(settings), m_keyring(keyring)
{
    setObjectName(QStringLiteral("frmAccount"));
    setWindowTitle(QStringLiteral("Mail account"));
    setWindowModality(Qt::WindowModal);

    optMaildir = named(new QRadioButton(QStringLiteral("Maildir folder"), this), "optMaildir");
    optImap = named(new QRadioButton(QStringLiteral("IMAP account"), this), "optImap");
    auto *kinds = new QButtonGroup(this);
    kinds->addButton(optMaildir);
    kinds->addButton(optImap);

    txtOutbox = named(new QLineEdit(this), "txtOutbox");
    txtOutbox->setPlaceholderText(QStringLiteral("Empty: the default outbox folder"));
    rowFind = new FindSettingsRow(this);
    txtHost = named(new QLineEdit(this), "txtHost");
    txtHost->setPlaceholderText(QStringLiteral("imap.example.org"));
    spnPort = named(new QSpinBox(this), "spnPort");
    spnPort->setRange(1, 65535);
    cboSecurity = named(new QComboBox(this), "cboSecurity");
    cboSecurity->addItems({QStringLiteral("TLS"), QStringLiteral("STARTTLS"),
                           QStringLiteral("None (this machine only)")});
    txtUser = named(new QLineEdit(this), "txtUser");
    txtPassword = named(new QLineEdit(this), "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setPlaceholderText(QStringLiteral("Empty: from the keyring or the command"));
    chkRemember = named(new QCheckBox(QStringLiteral("Remember the password in the keyring"), this),
                        "chkRemember");
    txtFolder = named(new QLineEdit(this), "txtFolder");
    txtFolder->setPlaceholderText(
        QStringLiteral("Empty: the folder the server marks Drafts, else \"Drafts\""));
    txtPasswordCommand = named(new QLineEdit(this), "txtPasswordCommand");
    txtPasswordCommand->setPlaceholderText(QStringLiteral("pass show mail/me@example.org"));
    grpSignIn = new OAuthSignInBox(
        m_keyring, [this] { return accountFromControls(); }, this);
    cmdTest = named(new QPushButton(QStringLiteral("Test"), this), "cmdTest");
    cmdTest->setAutoDefault(false);
    cmdCancelTest = named(new QPushButton(QStringLiteral("Cancel test"), this), "cmdCancelTest");
    cmdCancelTest->setAutoDefault(false);
    cmdCancelTest->hide();

    // What Test found scrolls in an area of its own, so that a long answer never squeezes
    // the fields above it.
    auto *result = new QWidget;
    lblStatus = resultLabel(result, "lblStatus");
    cmdDetails = named(new QToolButton(result), "cmdDetails");
    cmdDetails->setText(QStringLiteral("Details"));
    cmdDetails->setCheckable(true);
    cmdDetails->setArrowType(Qt::RightArrow);
    cmdDetails->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    cmdDetails->hide();
    lblDetails = resultLabel(result, "lblDetails");
    lblDetails->hide();
    auto *resultLayout = new QVBoxLayout(result);
    resultLayout->setContentsMargins(0, 0, 0, 0);
    resultLayout->addWidget(lblStatus);
    resultLayout->addWidget(cmdDetails, 0, Qt::AlignLeft);
    resultLayout->addWidget(lblDetails);
    resultLayout->addStretch();
    scrResult = named(new QScrollArea(this), "scrResult");
    scrResult->setWidget(result);
    scrResult->setWidgetResizable(true);
    scrResult->setFrameShape(QFrame::NoFrame);
    scrResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrResult->setMinimumWidth(520);
    scrResult->setFixedHeight(7 * fontMetrics().lineSpacing());
    buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                    "buttons");

    auto *serverRow = new QHBoxLayout;
    serverRow->addWidget(txtHost, 1);
    serverRow->addWidget(new QLabel(QStringLiteral("Port:"), this));
    serverRow->addWidget(spnPort);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(cmdTest);
    testRow->addWidget(cmdCancelTest);
    testRow->addStretch();

    auto *form = new QFormLayout;
    form->addRow(optMaildir);
    form->addRow(QStringLiteral("Folder:"), txtOutbox);
    form->addRow(optImap);
    form->addRow(QStringLiteral("Address:"), rowFind);
    form->addRow(QStringLiteral("Server:"), serverRow);
    form->addRow(QStringLiteral("Security:"), cboSecurity);
    form->addRow(QStringLiteral("User:"), txtUser);
    form->addRow(QStringLiteral("Password:"), txtPassword);
    form->addRow(QString(), chkRemember);
    form->addRow(QStringLiteral("Password command:"), txtPasswordCommand);
    form->addRow(QStringLiteral("Drafts folder:"), txtFolder);
    form->addRow(grpSignIn);
    form->addRow(QString(), testRow);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(scrResult);
    layout->addStretch();
    layout->addWidget(buttons);

    MailAccount account;
    try {
        account = readMailAccount(m_settings);
    } catch (const Failure &failure) {
        showStatus(failure.description());
    }
    showAccount(account);

    connect(optMaildir, &QRadioButton::toggled, this, &frmAccount::enableForKind);
    connect(cboSecurity, &QComboBox::currentIndexChanged, this, &frmAccount::cboSecurity_Changed);
    connect(grpSignIn, &OAuthSignInBox::serverSuggested, this,
            [this](const ProviderServer &server) {
                // A host the person typed stays.
                if (!txtHost->text().trimmed().isEmpty() &&
                    txtHost->text().trimmed() != providerServer(OAuthProvider::Microsoft).host &&
                    txtHost->text().trimmed() != providerServer(OAuthProvider::Google).host)
                    return;
                txtHost->setText(server.host);
                selectValue(cboSecurity, securities, server.security);
                spnPort->setValue(server.port);
            });
    connect(cmdTest, &QPushButton::clicked, this, &frmAccount::cmdTest_Click);
    connect(rowFind, &FindSettingsRow::found, this, &frmAccount::showFound);
    connect(rowFind, &FindSettingsRow::report, this,
            [this](const QString &text) { showStatus(text); });
    connect(cmdCancelTest, &QPushButton::clicked, this, &frmAccount::cmdCancelTest_Click);
    connect(cmdDetails, &QToolButton::toggled, this, [this](bool shown) {
        lblDetails->setVisible(shown);
        cmdDetails->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    });

    // The fields keep the room they need, whatever the result area holds.
    for (QWidget *field :
         std::initializer_list<QWidget *>{txtOutbox, txtHost, spnPort, cboSecurity, txtUser,
                                          txtPassword, txtFolder, txtPasswordCommand})
        field->setMinimumSize(field->sizeHint());
    connect(buttons, &QDialogButtonBox::accepted, this, &frmAccount::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmAccount::reject);
}

std::optional<QString> frmAccount::typedPassword() const
{
    if (txtPassword->text().isEmpty())
        return std::nullopt;
    return txtPassword->text();
}

void frmAccount::setTrustedCertificates(const QString &caFile)
{
    m_caFile = caFile;
    grpSignIn->setTrustedCertificates(caFile);
}

void frmAccount::setAddress(const QString &address)
{
    // "Name <me@example.org>" as a sender is often typed; an empty one leaves what is shown.
    if (const QString bare = bareAddress(address); !bare.isEmpty())
        rowFind->setAddress(bare);
}

void frmAccount::showAccount(const MailAccount &account)
{
    optMaildir->setChecked(account.kind == MailAccountKind::Maildir);
    optImap->setChecked(account.kind == MailAccountKind::Imap);
    txtOutbox->setText(account.outbox);
    txtHost->setText(account.imapHost);
    spnPort->setValue(account.imapPort);
    m_shownSecurity = account.imapSecurity;
    selectValue(cboSecurity, securities, account.imapSecurity);
    txtUser->setText(account.imapUser);
    if (account.imapUser.contains(u'@'))
        rowFind->setAddress(account.imapUser);
    txtFolder->setText(account.imapFolder);
    txtPasswordCommand->setText(account.passwordCommand);
    grpSignIn->showAccount(account);
    enableForKind();
}

MailAccount frmAccount::accountFromControls() const
{
    MailAccount account;
    account.kind = optImap->isChecked() ? MailAccountKind::Imap : MailAccountKind::Maildir;
    account.outbox = txtOutbox->text().trimmed();
    account.imapHost = txtHost->text().trimmed();
    account.imapPort = spnPort->value();
    account.imapSecurity = selectedValue(cboSecurity, securities);
    account.imapUser = txtUser->text().trimmed();
    account.imapFolder = txtFolder->text().trimmed();
    account.passwordCommand = txtPasswordCommand->text().trimmed();
    grpSignIn->fillIn(account);
    return account;
}

void frmAccount::enableForKind()
{
    const bool imap = optImap->isChecked();
    txtOutbox->setEnabled(!imap);
    for (QWidget *control :
         std::initializer_list<QWidget *>{txtHost, spnPort, cboSecurity, txtUser, txtPassword,
                                          chkRemember, txtFolder, txtPasswordCommand, cmdTest})
        control->setEnabled(imap);
    grpSignIn->setEnabled(imap);
    rowFind->setEnabled(imap);
    if (isTesting())
        cmdTest->setEnabled(false);
}

void frmAccount::cboSecurity_Changed()
{
    const ImapSecurity security = selectedValue(cboSecurity, securities);
    // A port the person chose stays; only the previous default follows the security.
    if (spnPort->value() == defaultImapPort(m_shownSecurity))
        spnPort->setValue(defaultImapPort(security));
    m_shownSecurity = security;
}

frmAccount::~frmAccount()
{
    stopTest();
}

void frmAccount::cmdTest_Click()
{
    if (isTesting())
        return;
    try {
        const MailAccount account = accountFromControls();
        checkMailAccount(account);
        auto cancel = std::make_shared<CancelToken>();
        // The keyring answers later; a Test cancelled meanwhile never starts.
        const auto stillWanted = [this, cancel] { return m_testCancel == cancel; };
        if (account.imapAuth == ImapAuth::OAuth2 && !account.tokenCommand.isEmpty()) {
            // The command runs on the worker, where the session asks for the token.
            startTest(account, cancel, createAccessTokenSource(account, nullptr), {});
        } else if (account.imapAuth == ImapAuth::OAuth2) {
            // The kept sign-in is read without waiting here; the token server is asked on the
            // worker, and a refresh token it rotates is kept when the Test ends.
            const QString key = oauthTokenKey(account);
            m_keyring.lookUpLater(
                key, this, [this, account, cancel, key, stillWanted](const PasswordLookup &kept) {
                    if (!stillWanted())
                        return;
                    if (!kept.unreachable.isEmpty()) {
                        stopTest();
                        showStatus(noKeyringText(kept.unreachable));
                        return;
                    }
                    m_testTokens = std::make_shared<HeldPasswordStore>(key, kept.password);
                    startTest(account, cancel, createAccessTokenSource(account, m_testTokens), {});
                });
        } else if (const std::optional<QString> typed = typedPassword()) {
            startTest(account, cancel, nullptr, typed);
        } else {
            const QString key = passwordKey(account);
            m_keyring.lookUpLater(
                key, this, [this, account, cancel, stillWanted](const PasswordLookup &kept) {
                    if (!stillWanted())
                        return;
                    if (!kept.password && account.passwordCommand.isEmpty()) {
                        stopTest();
                        showStatus(QStringLiteral("Type the password to test the account."));
                        return;
                    }
                    startTest(account, cancel, nullptr, kept.password);
                });
        }
        m_testCancel = cancel;
        showTesting(true);
        showStatus(QStringLiteral("Testing the account…"));
    } catch (const Failure &failure) {
        stopTest();
        showStatus(failure.description());
    }
}

void frmAccount::startTest(const MailAccount &account, std::shared_ptr<CancelToken> cancel,
                           std::shared_ptr<AccessTokenSource> token,
                           std::optional<QString> password)
{
    ImapEndpoint endpoint = imapEndpoint(account);
    endpoint.caFile = m_caFile;
    // Cancel test also ends a wait for the token server or the token command.
    if (token)
        token->setCancelCheck([cancel] { return cancel->cancelled(); });
    // The worker owns copies of everything it reads; the window may close before it ends.
    const auto test = [endpoint, account, password = std::move(password), token, cancel] {
        try {
            if (token)
                return accountTestReport(checkImapAccount(endpoint, token, *cancel),
                                         account.imapUser, account.imapHost);
            // A command may take its time (it may prompt on its own): it runs here, so the
            // window stays free and Cancel stops it.
            HeldPasswordStore known(passwordKey(account), password);
            const std::optional<QString> secret =
                resolvePassword(account, known, [cancel] { return cancel->cancelled(); });
            return accountTestReport(
                checkImapAccount(endpoint, secret.value_or(QString()), *cancel), account.imapUser,
                account.imapHost);
        } catch (...) {
            return AccountTestReport{describeCurrentException(), {}};
        }
    };
    // The result comes back only to this window, and only for this Test: a cancelled
    // one, or one the window did not live to see, ends unseen.
    runInBackground([test, cancel, window = QPointer<frmAccount>(this)] {
        AccountTestReport report = test();
        runOnApplicationThread([window, cancel, report = std::move(report)] {
            if (window && window->m_testCancel == cancel)
                window->onTestFinished(report);
        });
    });
}

void frmAccount::showFound(const FoundSettings &found)
{
    const MailAccount account = withFoundSettings(accountFromControls(), found);
    txtHost->setText(account.imapHost);
    selectValue(cboSecurity, securities, account.imapSecurity);
    spnPort->setValue(account.imapPort);
    txtUser->setText(account.imapUser);
    grpSignIn->showAccount(account);
}

void frmAccount::onTestFinished(const AccountTestReport &report)
{
    stopTest();
    showStatus(report.lines, report.details);
}

void frmAccount::cmdCancelTest_Click()
{
    stopTest();
    showStatus(QStringLiteral("Test cancelled."));
}

void frmAccount::stopTest()
{
    keepRotatedTokens();
    if (!m_testCancel)
        return;
    // The worker may still wait on the network; whatever it finds is no longer wanted.
    m_testCancel->cancel();
    m_testCancel.reset();
    showTesting(false);
}

void frmAccount::keepRotatedTokens()
{
    if (!m_testTokens)
        return;
    const auto written = m_testTokens->written();
    m_testTokens.reset();
    // Kept also when this window has closed meanwhile; only the failure needs it.
    for (auto entry = written.cbegin(); entry != written.cend(); ++entry)
        m_keyring.writeLater(entry.key(), entry.value(), QCoreApplication::instance(),
                             [window = QPointer<frmAccount>(this)](const QString &failure) {
                                 if (window && !failure.isEmpty())
                                     window->showStatus(failure);
                             });
}

void frmAccount::showTesting(bool testing)
{
    cmdCancelTest->setVisible(testing);
    cmdTest->setEnabled(!testing && optImap->isChecked());
    if (testing)
        cmdCancelTest->setFocus();
    else if (cmdTest->isEnabled() && cmdCancelTest->hasFocus())
        cmdTest->setFocus();
}

void frmAccount::reject()
{
    stopTest();
    QDialog::reject();
}

void frmAccount::accept()
{
    const MailAccount account = accountFromControls();
    try {
        writeMailAccount(m_settings, account);
    } catch (const Failure &failure) {
        showStatus(failure.description());
        return;
    }
    const std::optional<QString> password = typedPassword();
    if (!password || !chkRemember->isChecked()) {
        stopTest();
        QDialog::accept();
        return;
    }
    // The keyring may take its time (it may ask to be unlocked): the window stays open and
    // answering until it has kept the password, and stays open when it refuses.
    buttons->setEnabled(false);
    showStatus(QStringLiteral("Keeping the password in the keyring…"));
    m_keyring.writeLater(passwordKey(account), *password, this, [this](const QString &failure) {
        buttons->setEnabled(true);
        if (!failure.isEmpty()) {
            showStatus(failure);
            return;
        }
        stopTest();
        QDialog::accept();
    });
}

void frmAccount::showStatus(const QString &text, const QString &details)
{
    lblStatus->setText(text);
    lblDetails->setText(details);
    cmdDetails->setVisible(!details.isEmpty());
    lblDetails->setVisible(!details.isEmpty() && cmdDetails->isChecked());
}
