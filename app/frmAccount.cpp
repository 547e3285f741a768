#include "app/frmAccount.h"

#include "app/OAuthSignInBox.h"
#include "batch/CancelToken.h"
#include "app/FindSettingsRow.h"
#include "common/Failure.h"
#include "mailbridge/discovery/FoundSettings.h"
#include "mailbridge/discovery/MailDomain.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/imap/ImapEndpoint.h"
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
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
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

// Restores the cursor however the blocking call ends.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

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
    lblStatus = named(new QLabel(this), "lblStatus");
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setMinimumWidth(520);
    buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                    "buttons");

    auto *serverRow = new QHBoxLayout;
    serverRow->addWidget(txtHost, 1);
    serverRow->addWidget(new QLabel(QStringLiteral("Port:"), this));
    serverRow->addWidget(spnPort);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(cmdTest);
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
    layout->addWidget(lblStatus);
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
                for (int row = 0; row < int(std::size(securities)); ++row)
                    if (securities[row] == server.security)
                        cboSecurity->setCurrentIndex(row);
                spnPort->setValue(server.port);
            });
    connect(cmdTest, &QPushButton::clicked, this, &frmAccount::cmdTest_Click);
    connect(rowFind, &FindSettingsRow::found, this, &frmAccount::showFound);
    connect(rowFind, &FindSettingsRow::report, this, &frmAccount::showStatus);
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
    for (int row = 0; row < int(std::size(securities)); ++row)
        if (securities[row] == account.imapSecurity)
            cboSecurity->setCurrentIndex(row);
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
    account.imapSecurity = securities[qBound(0, cboSecurity->currentIndex(), 2)];
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
}

void frmAccount::cboSecurity_Changed()
{
    const ImapSecurity security = securities[qBound(0, cboSecurity->currentIndex(), 2)];
    // A port the person chose stays; only the previous default follows the security.
    if (spnPort->value() == defaultImapPort(m_shownSecurity))
        spnPort->setValue(defaultImapPort(security));
    m_shownSecurity = security;
}

void frmAccount::cmdTest_Click()
{
    try {
        const MailAccount account = accountFromControls();
        checkMailAccount(account);
        WaitCursor wait;
        std::optional<QString> password = typedPassword();
        if (!password)
            password = resolvePassword(account, m_keyring);
        if (!password) {
            showStatus(QStringLiteral("Type the password to test the account."));
            return;
        }
        ImapEndpoint endpoint = imapEndpoint(account);
        endpoint.caFile = m_caFile;
        showStatus(checkImapAccount(endpoint, *password, CancelToken()).summary());
    } catch (const Failure &failure) {
        showStatus(failure.description());
    }
}

void frmAccount::showFound(const FoundSettings &found)
{
    txtHost->setText(found.host);
    for (int row = 0; row < int(std::size(securities)); ++row)
        if (securities[row] == found.security)
            cboSecurity->setCurrentIndex(row);
    spnPort->setValue(found.port);
    // A user name already typed may differ from the address on purpose.
    if (txtUser->text().trimmed().isEmpty())
        txtUser->setText(found.user);
}

void frmAccount::accept()
{
    const MailAccount account = accountFromControls();
    try {
        writeMailAccount(m_settings, account);
        if (const std::optional<QString> password = typedPassword();
            password && chkRemember->isChecked())
            m_keyring.write(passwordKey(account), *password);
    } catch (const Failure &failure) {
        showStatus(failure.description());
        return;
    }
    QDialog::accept();
}

void frmAccount::showStatus(const QString &text)
{
    lblStatus->setText(text);
}
