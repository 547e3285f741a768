#include "app/frmAccount.h"

#include "app/ComboChoices.h"

#include "app/EventGuard.h"
#include "app/FileChoice.h"
#include "app/FindSettingsRow.h"
#include "app/MessageBoxes.h"
#include "app/OAuthSignInBox.h"
#include "app/SmtpLoginCheck.h"
#include "common/CancelToken.h"
#include "common/Failure.h"
#include "common/HomePath.h"
#include "common/ThreadHandOver.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/discovery/FoundSettings.h"
#include "mailbridge/discovery/MailDomain.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/password/HeldPasswordStore.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/password/PasswordStore.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "mailbridge/wiring/SettingsProposal.h"
#include "mailbridge/wiring/TokenSources.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
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
constexpr SaveSentCopy copyChoices[] = {SaveSentCopy::Auto, SaveSentCopy::Yes, SaveSentCopy::No};

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

    // Where messages go comes first: it decides which fields follow.
    auto *where = named(new QGroupBox(QStringLiteral("Where messages go"), this), "grpWhere");
    optMaildir =
        named(new QRadioButton(QStringLiteral("Into a Maildir folder"), where), "optMaildir");
    optImap = named(new QRadioButton(QStringLiteral("Into the Drafts of my IMAP account,\n"
                                                    "to review and send them there"),
                                     where),
                    "optImap");
    optSmtp =
        named(new QRadioButton(QStringLiteral("Send through my account (SMTP)"), where), "optSmtp");
    optSendmail = named(new QRadioButton(QStringLiteral("Through this computer's sendmail"), where),
                        "optSendmail");
    auto *kinds = new QButtonGroup(this);
    auto *whereLayout = new QVBoxLayout(where);
    for (QRadioButton *option : {optMaildir, optImap, optSmtp, optSendmail}) {
        kinds->addButton(option);
        whereLayout->addWidget(option);
    }

    txtOutbox = named(new QLineEdit(this), "txtOutbox");
    txtOutbox->setPlaceholderText(QStringLiteral("Empty: the default outbox folder"));
    txtSendmail = named(new QLineEdit(this), "txtSendmail");
    txtSendmail->setPlaceholderText(SendmailOutbox::defaultCommand());
    rowFind = new FindSettingsRow(this);
    txtHost = named(new QLineEdit(this), "txtHost");
    txtHost->setPlaceholderText(QStringLiteral("imap.example.org"));
    spnPort = named(new QSpinBox(this), "spnPort");
    spnPort->setRange(1, 65535);
    cboSecurity = named(new QComboBox(this), "cboSecurity");
    txtSmtpHost = named(new QLineEdit(this), "txtSmtpHost");
    txtSmtpHost->setPlaceholderText(QStringLiteral("smtp.example.org"));
    spnSmtpPort = named(new QSpinBox(this), "spnSmtpPort");
    spnSmtpPort->setRange(1, 65535);
    cboSmtpSecurity = named(new QComboBox(this), "cboSmtpSecurity");
    for (QComboBox *security : {cboSecurity, cboSmtpSecurity})
        security->addItems({QStringLiteral("TLS"), QStringLiteral("STARTTLS"),
                            QStringLiteral("None (this machine only)")});
    txtSmtpUser = named(new QLineEdit(this), "txtSmtpUser");
    txtSmtpUser->setPlaceholderText(QStringLiteral("Empty: the user above"));
    cboSaveSentCopy = named(new QComboBox(this), "cboSaveSentCopy");
    cboSaveSentCopy->addItems({QStringLiteral("Automatic (unless the provider keeps one itself)"),
                               QStringLiteral("Always"), QStringLiteral("Never")});
    cboSaveSentCopy->setToolTip(
        QStringLiteral("A copy of each message sent goes to the Sent folder of the IMAP account, "
                       "whose server and user are set under \"Into the Drafts of my IMAP "
                       "account\"."));
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
    txtCaFile = named(new QLineEdit(this), "txtCaFile");
    txtCaFile->setPlaceholderText(QStringLiteral("Empty: the system's authorities only"));
    txtCaFile->setToolTip(
        QStringLiteral("A PEM file with the certificate of your server's own certificate "
                       "authority (a company's, or your own), trusted besides the system's."));
    cmdCaFile = named(new QToolButton(this), "cmdCaFile");
    cmdCaFile->setText(QStringLiteral("…"));
    cmdCaFile->setToolTip(QStringLiteral("Choose the certificate authority's file"));
    grpSignIn = new OAuthSignInBox(
        m_keyring, [this] { return accountFromControls(); }, this);
    cmdAdvanced = named(new QToolButton(this), "cmdAdvanced");
    cmdAdvanced->setText(QStringLiteral("Advanced"));
    cmdAdvanced->setCheckable(true);
    cmdAdvanced->setArrowType(Qt::RightArrow);
    cmdAdvanced->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    cmdTest = named(new QPushButton(QStringLiteral("Test"), this), "cmdTest");
    cmdTest->setAutoDefault(false);
    cmdCancelTest = named(new QPushButton(QStringLiteral("Cancel test"), this), "cmdCancelTest");
    cmdCancelTest->setAutoDefault(false);
    cmdCancelTest->hide();

    // What Test and Find settings found scrolls in an area of its own, so that a long answer
    // never squeezes the fields.
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
    scrResult->setFixedWidth(22 * fontMetrics().averageCharWidth() + 160);
    scrResult->setMinimumHeight(7 * fontMetrics().lineSpacing());
    buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                    "buttons");

    // One page of fields per choice; the two accounts share theirs.
    pageMaildir = named(new QWidget(this), "pageMaildir");
    auto *maildirForm = new QFormLayout(pageMaildir);
    maildirForm->setContentsMargins(0, 0, 0, 0);
    maildirForm->addRow(QStringLiteral("Folder:"), txtOutbox);
    pageSendmail = named(new QWidget(this), "pageSendmail");
    auto *sendmailForm = new QFormLayout(pageSendmail);
    sendmailForm->setContentsMargins(0, 0, 0, 0);
    sendmailForm->addRow(QStringLiteral("Command:"), txtSendmail);
    auto *sendmailNote = new QLabel(
        QStringLiteral("Each message goes to the command's standard input. The command is run "
                       "exactly as written; msmtp, Postfix, Exim and nullmailer all provide "
                       "this one."),
        pageSendmail);
    sendmailNote->setWordWrap(true);
    sendmailForm->addRow(sendmailNote);

    const auto hostAndPort = [this](QLineEdit *host, QSpinBox *port) {
        auto *row = new QHBoxLayout;
        row->addWidget(host, 1);
        row->addWidget(new QLabel(QStringLiteral("Port:"), this));
        row->addWidget(port);
        return row;
    };
    serverRow = hostAndPort(txtHost, spnPort);
    smtpServerRow = hostAndPort(txtSmtpHost, spnSmtpPort);
    pageAccount = named(new QWidget(this), "pageAccount");
    accountForm = new QFormLayout(pageAccount);
    accountForm->setContentsMargins(0, 0, 0, 0);
    accountForm->addRow(QStringLiteral("Address:"), rowFind);
    accountForm->addRow(QStringLiteral("User:"), txtUser);
    accountForm->addRow(QStringLiteral("IMAP server:"), serverRow);
    accountForm->addRow(QStringLiteral("Security:"), cboSecurity);
    accountForm->addRow(QStringLiteral("Drafts folder:"), txtFolder);
    accountForm->addRow(QStringLiteral("SMTP server:"), smtpServerRow);
    accountForm->addRow(QStringLiteral("Security:"), cboSmtpSecurity);
    accountForm->addRow(QStringLiteral("SMTP user:"), txtSmtpUser);
    accountForm->addRow(QStringLiteral("Copy in Sent:"), cboSaveSentCopy);
    accountForm->addRow(QStringLiteral("Password:"), txtPassword);
    accountForm->addRow(QString(), chkRemember);
    accountForm->addRow(grpSignIn);
    accountForm->addRow(cmdAdvanced);
    accountForm->addRow(QStringLiteral("Password command:"), txtPasswordCommand);
    auto *caFileLayout = new QHBoxLayout;
    caFileLayout->addWidget(txtCaFile, 1);
    caFileLayout->addWidget(cmdCaFile);
    caFileRow = caFileLayout;
    accountForm->addRow(QStringLiteral("Certificate authority:"), caFileRow);

    auto *testRow = new QHBoxLayout;
    testRow->addWidget(cmdTest);
    testRow->addWidget(cmdCancelTest);
    testRow->addStretch();
    auto *left = new QVBoxLayout;
    left->addWidget(where);
    left->addLayout(testRow);
    left->addWidget(scrResult, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(pageMaildir);
    right->addWidget(pageSendmail);
    right->addWidget(pageAccount);
    right->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addSpacing(fontMetrics().averageCharWidth() * 2);
    columns->addLayout(right, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(buttons);

    MailAccount account;
    try {
        account = readMailAccount(m_settings);
    } catch (const Failure &failure) {
        showStatus(failure.description());
    }
    showAccount(account);
    showAdvanced(false);

    for (QRadioButton *option : {optMaildir, optImap, optSmtp, optSendmail})
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                enableForKind();
        });
    connect(cboSecurity, &QComboBox::currentIndexChanged, this, &frmAccount::cboSecurity_Changed);
    connect(cboSmtpSecurity, &QComboBox::currentIndexChanged, this,
            &frmAccount::cboSmtpSecurity_Changed);
    connect(cmdAdvanced, &QToolButton::toggled, this, &frmAccount::showAdvanced);
    connect(cmdCaFile, &QToolButton::clicked, this,
            [this] { runGuarded(this, [this] { cmdCaFile_Click(); }); });
    // The copy goes to the IMAP account: without its server and user there is nowhere to put it.
    for (QLineEdit *field : {txtHost, txtUser})
        connect(field, &QLineEdit::textChanged, this, &frmAccount::enableSaveSentCopy);
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
    connect(grpSignIn, &OAuthSignInBox::layoutChanged, this, &frmAccount::fitToFields);
    connect(cmdTest, &QPushButton::clicked, this, &frmAccount::cmdTest_Click);
    rowFind->setProposal([this](const DiscoveryResult &result) {
        return proposedSettings(result, accountFromControls());
    });
    connect(rowFind, &FindSettingsRow::found, this, &frmAccount::showFound);
    connect(rowFind, &FindSettingsRow::report, this,
            [this](const QString &text) { showStatus(text); });
    connect(cmdCancelTest, &QPushButton::clicked, this, &frmAccount::cmdCancelTest_Click);
    connect(cmdDetails, &QToolButton::toggled, this, [this](bool shown) {
        lblDetails->setVisible(shown);
        cmdDetails->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    });

    // The fields keep the room they need, whatever the result area holds.
    for (QWidget *field : std::initializer_list<QWidget *>{
             txtOutbox, txtSendmail, txtHost, spnPort, cboSecurity, txtUser, txtPassword, txtFolder,
             txtPasswordCommand, txtSmtpHost, spnSmtpPort, cboSmtpSecurity, txtSmtpUser,
             cboSaveSentCopy})
        field->setMinimumSize(field->sizeHint());
    txtSendmail->setMinimumWidth(
        txtSendmail->fontMetrics().horizontalAdvance(SendmailOutbox::defaultCommand()) +
        4 * fontMetrics().averageCharWidth());
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
    txtCaFile->setText(caFile);
}

void frmAccount::cmdCaFile_Click()
{
    const QString shown = txtCaFile->text().trimmed();
    const std::optional<QString> chosen =
        chooseFile(this, QStringLiteral("Certificate authority"),
                   shown.isEmpty() ? expandHome(QStringLiteral("~")) : expandHome(shown),
                   QStringLiteral("Certificates (*.pem *.crt *.cer);;All files (*)"));
    if (chosen)
        txtCaFile->setText(withHomeAsTilde(*chosen));
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
    optSmtp->setChecked(account.kind == MailAccountKind::Smtp);
    optSendmail->setChecked(account.kind == MailAccountKind::Sendmail);
    txtOutbox->setText(account.outbox);
    txtSendmail->setText(account.sendmailCommand);
    txtHost->setText(account.imapHost);
    spnPort->setValue(account.imapPort);
    m_shownSecurity = account.imapSecurity;
    selectValue(cboSecurity, securities, account.imapSecurity);
    txtSmtpHost->setText(account.smtpHost);
    spnSmtpPort->setValue(account.smtpPort);
    m_shownSmtpSecurity = account.smtpSecurity;
    selectValue(cboSmtpSecurity, securities, account.smtpSecurity);
    txtSmtpUser->setText(account.smtpUser);
    selectValue(cboSaveSentCopy, copyChoices, account.saveSentCopy);
    txtUser->setText(account.imapUser);
    if (account.imapUser.contains(u'@'))
        rowFind->setAddress(account.imapUser);
    txtFolder->setText(account.imapFolder);
    txtPasswordCommand->setText(account.passwordCommand);
    txtCaFile->setText(account.caFile);
    // One way of signing in serves the account's logins; the chosen one's is shown.
    MailAccount shown = account;
    shown.imapAuth = usesOAuth(account) ? ImapAuth::OAuth2 : ImapAuth::Password;
    grpSignIn->showAccount(shown);
    enableForKind();
}

MailAccountKind frmAccount::chosenKind() const
{
    if (optImap->isChecked())
        return MailAccountKind::Imap;
    if (optSmtp->isChecked())
        return MailAccountKind::Smtp;
    if (optSendmail->isChecked())
        return MailAccountKind::Sendmail;
    return MailAccountKind::Maildir;
}

MailAccount frmAccount::accountFromControls() const
{
    MailAccount account;
    account.kind = chosenKind();
    account.outbox = txtOutbox->text().trimmed();
    account.sendmailCommand = txtSendmail->text().trimmed();
    account.imapHost = txtHost->text().trimmed();
    account.imapPort = spnPort->value();
    account.imapSecurity = selectedValue(cboSecurity, securities);
    account.imapUser = txtUser->text().trimmed();
    account.imapFolder = txtFolder->text().trimmed();
    account.smtpHost = txtSmtpHost->text().trimmed();
    account.smtpPort = spnSmtpPort->value();
    account.smtpSecurity = selectedValue(cboSmtpSecurity, securities);
    account.smtpUser = txtSmtpUser->text().trimmed();
    account.saveSentCopy = selectedValue(cboSaveSentCopy, copyChoices);
    account.passwordCommand = txtPasswordCommand->text().trimmed();
    account.caFile = txtCaFile->text().trimmed();
    grpSignIn->fillIn(account);
    account.smtpAuth = account.imapAuth;
    return account;
}

void frmAccount::enableForKind()
{
    const MailAccountKind kind = chosenKind();
    const bool imap = kind == MailAccountKind::Imap;
    const bool smtp = kind == MailAccountKind::Smtp;
    pageMaildir->setVisible(kind == MailAccountKind::Maildir);
    pageSendmail->setVisible(kind == MailAccountKind::Sendmail);
    pageAccount->setVisible(imap || smtp);
    // The other server's settings stay as they are, unseen: a Test still tries them.
    accountForm->setRowVisible(serverRow, imap);
    accountForm->setRowVisible(smtpServerRow, smtp);
    for (QWidget *field : std::initializer_list<QWidget *>{cboSecurity, txtFolder})
        accountForm->setRowVisible(field, imap);
    for (QWidget *field :
         std::initializer_list<QWidget *>{cboSmtpSecurity, txtSmtpUser, cboSaveSentCopy})
        accountForm->setRowVisible(field, smtp);
    for (QWidget *control : std::initializer_list<QWidget *>{
             txtHost, spnPort, cboSecurity, txtUser, txtPassword, chkRemember, txtFolder,
             txtPasswordCommand, txtSmtpHost, spnSmtpPort, cboSmtpSecurity, txtSmtpUser, txtCaFile,
             cmdCaFile})
        control->setEnabled(imap || smtp);
    grpSignIn->setEnabled(imap || smtp);
    rowFind->setEnabled(imap || smtp);
    txtOutbox->setEnabled(kind == MailAccountKind::Maildir);
    txtSendmail->setEnabled(kind == MailAccountKind::Sendmail);
    enableSaveSentCopy();
    cmdTest->setVisible(imap || smtp);
    cmdTest->setEnabled((imap || smtp) && !isTesting());
    fitToFields();
}

void frmAccount::enableSaveSentCopy()
{
    const MailAccount account = accountFromControls();
    cboSaveSentCopy->setEnabled(account.kind == MailAccountKind::Smtp && hasImapSettings(account));
}

void frmAccount::showAdvanced(bool shown)
{
    cmdAdvanced->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    accountForm->setRowVisible(txtPasswordCommand, shown);
    accountForm->setRowVisible(caFileRow, shown);
    grpSignIn->setAdvancedShown(shown);
    fitToFields();
}

void frmAccount::fitToFields()
{
    if (!isVisible())
        return;
    adjustSize();
    // Grown past the screen's bottom, the window moves up: OK and Cancel stay in reach.
    const QRect screen = this->screen()->availableGeometry();
    const QRect frame = frameGeometry();
    if (frame.bottom() > screen.bottom())
        move(x(), std::max(screen.top(), y() - (frame.bottom() - screen.bottom())));
}

void frmAccount::cboSecurity_Changed()
{
    const ImapSecurity security = selectedValue(cboSecurity, securities);
    // A port the person chose stays; only the previous default follows the security.
    if (spnPort->value() == defaultImapPort(m_shownSecurity))
        spnPort->setValue(defaultImapPort(security));
    m_shownSecurity = security;
}

void frmAccount::cboSmtpSecurity_Changed()
{
    const ImapSecurity security = selectedValue(cboSmtpSecurity, securities);
    if (spnSmtpPort->value() == defaultSmtpPort(m_shownSmtpSecurity))
        spnSmtpPort->setValue(defaultSmtpPort(security));
    m_shownSmtpSecurity = security;
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

namespace {

// The account's server of the other kind, checked as its own kind would be; a Failure saying
// why it cannot be tried.
MailAccount asKind(MailAccount account, MailAccountKind kind)
{
    account.kind = kind;
    return account;
}

} // namespace

void frmAccount::startTest(const MailAccount &account, std::shared_ptr<CancelToken> cancel,
                           std::shared_ptr<AccessTokenSource> token,
                           std::optional<QString> password)
{
    // Both servers where both are set, the chosen one first.
    const bool smtpFirst = account.kind == MailAccountKind::Smtp;
    const bool withImap = !account.imapHost.isEmpty() || !smtpFirst;
    const bool withSmtp = !account.smtpHost.isEmpty() || smtpFirst;
    const ImapEndpoint imap = imapEndpoint(account);
    const SmtpEndpoint smtp = smtpEndpoint(account);
    // Cancel test also ends a wait for the token server or the token command.
    if (token)
        token->setCancelCheck([cancel] { return cancel->cancelled(); });
    // The worker owns copies of everything it reads; the window may close before it ends.
    const auto test = [imap, smtp, account, withImap, withSmtp, smtpFirst,
                       password = std::move(password), token, cancel] {
        std::optional<QString> secret = password;
        if (!token) {
            // A command may take its time (it may prompt on its own): it runs here, so the
            // window stays free and Cancel stops it.
            try {
                HeldPasswordStore known(passwordKey(account), password);
                secret = resolvePassword(account, known, [cancel] { return cancel->cancelled(); });
            } catch (...) {
                return AccountTestReport{describeCurrentException(), {}};
            }
        }
        const auto imapPart = [&]() -> ServerTestPart {
            ServerTestPart part{QStringLiteral("Drafts (IMAP, %1)").arg(account.imapHost), {}};
            try {
                checkMailAccount(asKind(account, MailAccountKind::Imap));
                part.report = accountTestReport(
                    token ? checkImapAccount(imap, token, *cancel)
                          : checkImapAccount(imap, secret.value_or(QString()), *cancel),
                    account.imapUser, account.imapHost);
            } catch (...) {
                part.report.lines = describeCurrentException();
            }
            return part;
        };
        const auto smtpPart = [&]() -> ServerTestPart {
            ServerTestPart part{QStringLiteral("Sending (SMTP, %1)").arg(account.smtpHost), {}};
            try {
                checkMailAccount(asKind(account, MailAccountKind::Smtp));
                part.report = smtpTestReport(checkSmtpLogin(smtp, secret, token, *cancel),
                                             smtp.user, account.smtpHost);
            } catch (...) {
                part.report.lines = describeCurrentException();
            }
            return part;
        };
        std::vector<ServerTestPart> parts;
        if (smtpFirst && withSmtp)
            parts.push_back(smtpPart());
        if (withImap && !cancel->cancelled())
            parts.push_back(imapPart());
        if (!smtpFirst && withSmtp && !cancel->cancelled())
            parts.push_back(smtpPart());
        return combinedReport(parts);
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
    // Everything found replaces what an earlier address left; the rest stays as typed.
    const MailAccount current = accountFromControls();
    MailAccount account = withFoundSettings(current, found);
    account.kind = current.kind;
    txtHost->setText(account.imapHost);
    selectValue(cboSecurity, securities, account.imapSecurity);
    spnPort->setValue(account.imapPort);
    m_shownSecurity = account.imapSecurity;
    txtSmtpHost->setText(account.smtpHost);
    selectValue(cboSmtpSecurity, securities, account.smtpSecurity);
    spnSmtpPort->setValue(account.smtpPort);
    m_shownSmtpSecurity = account.smtpSecurity;
    txtSmtpUser->setText(account.smtpUser);
    txtUser->setText(account.imapUser);
    grpSignIn->showAccount(account);
    grpSignIn->clearStatus();
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
    const MailAccountKind kind = chosenKind();
    cmdTest->setEnabled(!testing &&
                        (kind == MailAccountKind::Imap || kind == MailAccountKind::Smtp));
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
