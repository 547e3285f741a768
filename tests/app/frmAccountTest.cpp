#include "app/frmAccount.h"
#include "support/MemoryPasswordStore.h"

#include "DovecotServer.h"
#include "TestServer.h"
#include "mailbridge/password/PasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class RefusingPasswordStore : public MemoryPasswordStore
{
public:
    void write(const QString &, const QString &) override
    {
        throw Failure("The keyring is locked.");
    }
};

class frmAccountTest : public testing::Test
{
protected:
    frmAccount &dialog()
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<frmAccount>(settings, keyring, nullptr);
            m_dialog->show();
        }
        return *m_dialog;
    }
    template <typename W> W *control(const char *name)
    {
        W *widget = dialog().findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString status() { return control<QLabel>("lblStatus")->text(); }
    // Clicks Test and waits for its answer; the window answers meanwhile.
    void clickTest()
    {
        control<QPushButton>("cmdTest")->click();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog().isTesting(); }, 30000));
    }
    void chooseSecurity(const char *shown)
    {
        auto *security = control<QComboBox>("cboSecurity");
        const int row = security->findText(QString::fromLatin1(shown), Qt::MatchStartsWith);
        ASSERT_GE(row, 0) << shown;
        security->setCurrentIndex(row);
    }
    void fillImap(const QString &host, int port, const char *security, const QString &user)
    {
        control<QRadioButton>("optImap")->click();
        control<QLineEdit>("txtHost")->setText(host);
        chooseSecurity(security);
        control<QSpinBox>("spnPort")->setValue(port);
        control<QLineEdit>("txtUser")->setText(user);
    }
    void clickOk()
    {
        dialog().findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    }

    // A new dialog over empty settings and keyring.
    void reopen()
    {
        m_dialog.reset();
        settings = {};
        keyring = {};
    }

    MemorySettingsStore settings;
    MemoryPasswordStore keyring;

private:
    std::unique_ptr<frmAccount> m_dialog;
};

TEST_F(frmAccountTest, ShowsTheStoredAccountOrTheDefaultsWithTheReason)
{
    settings.values = {{"MailClient/Kind", "imap"},
                       {"MailClient/Outbox", "/tmp/out"},
                       {"MailClient/ImapHost", "imap.example.org"},
                       {"MailClient/ImapPort", "1143"},
                       {"MailClient/ImapSecurity", "starttls"},
                       {"MailClient/ImapUser", "me@example.org"},
                       {"MailClient/ImapFolder", "Outgoing"},
                       {"MailClient/PasswordCommand", "pass show mail"}};
    EXPECT_TRUE(control<QRadioButton>("optImap")->isChecked());
    EXPECT_EQ(control<QLineEdit>("txtOutbox")->text(), "/tmp/out");
    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "imap.example.org");
    EXPECT_EQ(control<QSpinBox>("spnPort")->value(), 1143);
    EXPECT_EQ(control<QComboBox>("cboSecurity")->currentText(), "STARTTLS");
    EXPECT_EQ(control<QLineEdit>("txtUser")->text(), "me@example.org");
    EXPECT_EQ(control<QLineEdit>("txtFolder")->text(), "Outgoing");
    EXPECT_EQ(control<QLineEdit>("txtPasswordCommand")->text(), "pass show mail");
    EXPECT_TRUE(control<QLineEdit>("txtPassword")->text().isEmpty());
    EXPECT_EQ(control<QLineEdit>("txtPassword")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(status().isEmpty()) << status();
}

TEST_F(frmAccountTest, UnreadableSettingsStartFromTheDefaultsAndSayWhy)
{
    settings.values = {{"MailClient/Kind", "imap"}, {"MailClient/ImapSecurity", "ssl"}};
    EXPECT_TRUE(control<QRadioButton>("optMaildir")->isChecked());
    EXPECT_EQ(control<QSpinBox>("spnPort")->value(), 993);
    EXPECT_TRUE(status().contains("ImapSecurity")) << status();
    EXPECT_TRUE(status().contains("ssl")) << status();
}

TEST_F(frmAccountTest, OnlyTheChosenKindsControlsAreEnabled)
{
    const char *imapControls[] = {"txtHost",     "spnPort",     "cboSecurity", "txtUser",
                                  "txtPassword", "chkRemember", "txtFolder",   "txtPasswordCommand",
                                  "cmdTest"};
    for (const bool imap : {true, false, true}) {
        SCOPED_TRACE(imap ? "IMAP" : "Maildir");
        control<QRadioButton>(imap ? "optImap" : "optMaildir")->click();
        EXPECT_EQ(control<QLineEdit>("txtOutbox")->isEnabled(), !imap);
        for (const char *name : imapControls)
            EXPECT_EQ(control<QWidget>(name)->isEnabled(), imap) << name;
    }
}

TEST_F(frmAccountTest, SecurityBringsItsDefaultPortUnlessAnotherWasTyped)
{
    const struct
    {
        const char *name;
        int typedPort; // 0: left as shown
        const char *security;
        int expectedPort;
    } rows[] = {
        {"STARTTLS takes 143", 0, "STARTTLS", 143}, {"None takes 143", 0, "None", 143},
        {"back to TLS takes 993", 0, "TLS", 993},   {"a typed port stays", 1993, "STARTTLS", 1993},
        {"and stays again", 0, "TLS", 1993},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.typedPort)
            control<QSpinBox>("spnPort")->setValue(row.typedPort);
        chooseSecurity(row.security);
        EXPECT_EQ(control<QSpinBox>("spnPort")->value(), row.expectedPort);
    }
}

TEST_F(frmAccountTest, OkWritesTheAccountAndThePasswordOnlyToTheKeyringWhenAsked)
{
    for (const bool remember : {false, true}) {
        SCOPED_TRACE(remember ? "remembered" : "not remembered");
        reopen();
        fillImap("imap.example.org", 993, "TLS", "me@example.org");
        control<QLineEdit>("txtFolder")->setText("Outgoing");
        control<QLineEdit>("txtPassword")->setText("s3cret-typed");
        control<QCheckBox>("chkRemember")->setChecked(remember);
        clickOk();

        // The keyring answers later; the window waits for it without blocking.
        QTRY_COMPARE_WITH_TIMEOUT(dialog().result(), int(QDialog::Accepted), 5000);
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_EQ(settings.values,
                  (QMap<QString, QString>{{"MailClient/Kind", "imap"},
                                          {"MailClient/Outbox", ""},
                                          {"MailClient/ImapHost", "imap.example.org"},
                                          {"MailClient/ImapPort", "993"},
                                          {"MailClient/ImapSecurity", "tls"},
                                          {"MailClient/ImapUser", "me@example.org"},
                                          {"MailClient/ImapFolder", "Outgoing"},
                                          {"MailClient/PasswordCommand", ""},
                                          {"MailClient/ImapAuth", "password"}}));
        for (const QString &value : settings.values)
            EXPECT_FALSE(value.contains("s3cret")) << value;
        EXPECT_EQ(dialog().typedPassword(), std::optional<QString>("s3cret-typed"));
        const MailAccount account = readMailAccount(settings);
        const QMap<QString, QString> expected =
            remember ? QMap<QString, QString>{{passwordKey(account), "s3cret-typed"}}
                     : QMap<QString, QString>{};
        EXPECT_EQ(keyring.passwords, expected);
    }
}

TEST_F(frmAccountTest, AnUnencryptedRemoteAccountIsRefusedAndTheDialogStaysOpen)
{
    fillImap("imap.example.org", 143, "None", "me@example.org");
    control<QLineEdit>("txtPassword")->setText("secret");
    control<QCheckBox>("chkRemember")->setChecked(true);
    clickOk();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_TRUE(settings.values.isEmpty());
    EXPECT_TRUE(keyring.passwords.isEmpty());
    EXPECT_TRUE(status().contains("unencrypted")) << status();
}

TEST(frmAccountKeyring, AKeyringThatRefusesThePasswordKeepsTheDialogOpen)
{
    MemorySettingsStore settings;
    RefusingPasswordStore keyring;
    frmAccount dialog(settings, keyring, nullptr);
    dialog.show();
    dialog.findChild<QRadioButton *>("optImap")->click();
    dialog.findChild<QLineEdit *>("txtHost")->setText("imap.example.org");
    dialog.findChild<QLineEdit *>("txtUser")->setText("me@example.org");
    dialog.findChild<QLineEdit *>("txtPassword")->setText("secret");
    dialog.findChild<QCheckBox *>("chkRemember")->setChecked(true);
    dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.findChild<QLabel *>("lblStatus")->text(),
                              QString("The keyring is locked."), 5000);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.findChild<QDialogButtonBox *>()->isEnabled()) << "OK can be tried again";
}

// The Test button against a Dovecot of the suite's own.
class frmAccountServerTest : public frmAccountTest
{
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<DovecotServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    void fillForServer()
    {
        fillImap("127.0.0.1", s_server->imapsPort(), "TLS", DovecotServer::user);
        dialog().setTrustedCertificates(s_server->caFile());
    }

    static std::unique_ptr<DovecotServer> s_server;
};
std::unique_ptr<DovecotServer> frmAccountServerTest::s_server;

TEST_F(frmAccountServerTest, TestShowsWhatTheServerSaidOrWhyItFailed)
{
    fillForServer();
    const MailAccount account = [&] {
        MailAccount a;
        a.kind = MailAccountKind::Imap;
        a.imapHost = "127.0.0.1";
        a.imapPort = s_server->imapsPort();
        a.imapUser = DovecotServer::user;
        return a;
    }();
    const struct
    {
        const char *name;
        const char *typed;
        const char *inKeyring; // nullptr: none
        const char *expected;
    } rows[] = {
        {"typed right", DovecotServer::password, nullptr, "Logged in as"},
        {"typed wrong", "wrong", nullptr, "refused the user name or password"},
        {"typed wins over the keyring", "wrong", DovecotServer::password,
         "refused the user name or password"},
        {"from the keyring", "", DovecotServer::password, "Logged in as"},
        {"nowhere", "", nullptr, "Type the password to test the account."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        keyring = {};
        if (row.inKeyring)
            keyring.passwords[passwordKey(account)] = row.inKeyring;
        control<QLineEdit>("txtPassword")->setText(row.typed);
        clickTest();
        EXPECT_TRUE(status().contains(row.expected)) << status();
        const QString details = control<QLabel>("lblDetails")->text();
        if (QString(row.expected) == "Logged in as") {
            EXPECT_TRUE(status().contains(DovecotServer::draftsFolder)) << status();
            // The server's own words wait behind Details.
            EXPECT_TRUE(details.contains("Dovecot")) << details;
            EXPECT_FALSE(status().contains("Dovecot")) << status();
        } else {
            EXPECT_TRUE(details.isEmpty()) << details;
        }
    }
    EXPECT_TRUE(settings.writes.isEmpty()) << "Test saves nothing";
}

// Both servers where both are set, each reported; an aiosmtpd of the test's own sends.
TEST_F(frmAccountServerTest, TestLogsInToTheImapAndTheSmtpServerAndReportsEach)
{
    QTemporaryDir mail;
    for (const bool sameLogin : {true, false}) {
        SCOPED_TRACE(sameLogin ? "both take the login" : "the SMTP server refuses it");
        TestServer smtp{AIOSMTPD_SERVER,
                        {mail.path(), DovecotServer::user,
                         sameLogin ? DovecotServer::password : "another password", "3000000"}};
        ASSERT_GT(smtp.port(), 0);
        reopen();
        fillForServer();
        control<QRadioButton>("optSmtp")->click();
        control<QLineEdit>("txtSmtpHost")->setText("127.0.0.1");
        control<QComboBox>("cboSmtpSecurity")->setCurrentIndex(2);
        control<QSpinBox>("spnSmtpPort")->setValue(smtp.port());
        control<QLineEdit>("txtPassword")->setText(DovecotServer::password);
        clickTest();
        const QString shown = status();
        const qsizetype sending = shown.indexOf("Sending (SMTP, 127.0.0.1):");
        const qsizetype drafts = shown.indexOf("Drafts (IMAP, 127.0.0.1):");
        ASSERT_GE(sending, 0) << shown;
        ASSERT_GT(drafts, sending) << "the chosen server first: " << shown;
        const QString smtpPart = shown.mid(sending, drafts - sending);
        const QString imapPart = shown.mid(drafts);
        EXPECT_TRUE(imapPart.contains("Logged in as")) << imapPart;
        if (sameLogin) {
            EXPECT_TRUE(smtpPart.contains("Logged in as")) << smtpPart;
            EXPECT_TRUE(smtpPart.contains("up to 3.0 MB")) << smtpPart;
        } else {
            EXPECT_FALSE(smtpPart.contains("Logged in as")) << smtpPart;
            EXPECT_TRUE(smtpPart.contains("Cannot log in to the mail server 127.0.0.1"))
                << smtpPart;
            EXPECT_TRUE(smtpPart.contains("refused the user name or password")) << smtpPart;
        }
        EXPECT_TRUE(QDir(mail.path()).entryList(QDir::Files).isEmpty()) << "nothing is sent";
    }
}

TEST_F(frmAccountServerTest, TestRefusesAnIncompleteAccountBeforeConnecting)
{
    fillForServer();
    control<QLineEdit>("txtUser")->clear();
    control<QLineEdit>("txtPassword")->setText(DovecotServer::password);
    clickTest();
    EXPECT_TRUE(status().contains("no user name")) << status();
}

// For the README: run with --gtest_also_run_disabled_tests and FERRYMAIL_SCREENSHOT=path.png,
// under a real display for the desktop's fonts.
TEST_F(frmAccountServerTest, DISABLED_SavesAScreenshot)
{
    fillForServer();
    control<QLineEdit>("txtPassword")->setText(DovecotServer::password);
    control<QCheckBox>("chkRemember")->setChecked(true);
    clickTest();
    dialog().adjustSize();
    QTest::qWait(200);
    const QString path = qEnvironmentVariable("FERRYMAIL_SCREENSHOT");
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(dialog().grab().save(path));
}

TEST_F(frmAccountServerTest, FieldsKeepTheirRoomWhileTheResultScrolls)
{
    fillForServer();
    control<QLineEdit>("txtPassword")->setText(DovecotServer::password);
    dialog().adjustSize();
    const char *fields[] = {"txtHost", "spnPort", "txtUser", "txtPassword", "txtFolder"};
    std::vector<QSize> before;
    for (const char *name : fields)
        before.push_back(control<QWidget>(name)->size());
    const int resultHeight = control<QScrollArea>("scrResult")->height();

    clickTest();
    auto *details = control<QToolButton>("cmdDetails");
    ASSERT_TRUE(details->isVisible());
    EXPECT_FALSE(control<QLabel>("lblDetails")->isVisible());
    QTest::mouseClick(details, Qt::LeftButton);
    EXPECT_TRUE(control<QLabel>("lblDetails")->isVisible());
    // And the person may try to make the window smaller than its fields.
    dialog().resize(200, 200);
    QTest::qWait(20);

    for (std::size_t n = 0; n < std::size(fields); ++n) {
        QWidget *field = control<QWidget>(fields[n]);
        EXPECT_GE(field->width(), before[n].width()) << fields[n];
        EXPECT_GE(field->height(), before[n].height()) << fields[n];
        EXPECT_GE(field->width(), field->sizeHint().width()) << fields[n];
    }
    auto *host = control<QLineEdit>("txtHost");
    EXPECT_GT(host->width(), host->fontMetrics().horizontalAdvance(host->text()));
    EXPECT_EQ(control<QScrollArea>("scrResult")->height(), resultHeight);
}

// A server that takes the connection and never says a word: the system completes the
// connection, nobody ever reads or writes it. Closing resets it.
class SilentPeer
{
public:
    SilentPeer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_GE(m_socket, 0);
        EXPECT_EQ(bind(m_socket, reinterpret_cast<sockaddr *>(&address), length), 0);
        EXPECT_EQ(listen(m_socket, 4), 0);
        EXPECT_EQ(getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length), 0);
        m_port = ntohs(address.sin_port);
    }
    ~SilentPeer() { close(m_socket); }
    SilentPeer(const SilentPeer &) = delete;
    SilentPeer &operator=(const SilentPeer &) = delete;
    int port() const { return m_port; }

private:
    int m_socket = socket(AF_INET, SOCK_STREAM, 0);
    int m_port = 0;
};

TEST_F(frmAccountTest, TestRunsWhileTheWindowAnswersAndCanBeCancelled)
{
    SilentPeer peer;
    fillImap("127.0.0.1", peer.port(), "None", "me");
    control<QLineEdit>("txtPassword")->setText("secret");
    auto *test = control<QPushButton>("cmdTest");
    auto *cancel = control<QPushButton>("cmdCancelTest");
    EXPECT_FALSE(cancel->isVisible());

    test->click();
    EXPECT_TRUE(dialog().isTesting());
    EXPECT_TRUE(cancel->isVisible());
    EXPECT_FALSE(test->isEnabled());
    // The window goes on answering while the server says nothing.
    QTest::qWait(300);
    EXPECT_TRUE(dialog().isTesting());
    control<QLineEdit>("txtUser")->setText("typed meanwhile");
    EXPECT_EQ(control<QLineEdit>("txtUser")->text(), "typed meanwhile");

    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(dialog().isTesting());
    EXPECT_EQ(status(), "Test cancelled.");
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_TRUE(test->isEnabled());

    // Closing during a Test does not wait for the server either.
    test->click();
    ASSERT_TRUE(dialog().isTesting());
    QElapsedTimer clock;
    clock.start();
    dialog().reject();
    EXPECT_FALSE(dialog().isTesting());
    // Waiting would mean for ever (the server never answers): the bound leaves room for load.
    EXPECT_LT(clock.elapsed(), 10'000);
    EXPECT_TRUE(settings.writes.isEmpty());
}

// A password command that takes its time (one that prompts, or a slow keyring of its own)
// runs beside the window, and Cancel ends it.
TEST_F(frmAccountTest, ASlowPasswordCommandLeavesTheWindowFreeAndCancelEndsIt)
{
    SilentPeer peer;
    QTemporaryDir folder;
    const QString pidFile = folder.filePath("pid");
    fillImap("127.0.0.1", peer.port(), "None", "me");
    control<QLineEdit>("txtPasswordCommand")
        ->setText(
            QString("echo $$ > '%1'; sleep 30 & echo $! >> '%1'; wait; echo secret").arg(pidFile));

    QElapsedTimer clock;
    clock.start();
    control<QPushButton>("cmdTest")->click();
    // Waiting would mean the command's 30 s: the bound leaves room for load.
    EXPECT_LT(clock.elapsed(), 10'000) << "the click waited for the command";
    EXPECT_TRUE(dialog().isTesting());
    QList<QByteArray> pids; // the shell's and the sleep's
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            pids = QFile::exists(pidFile) ? fileBytes(pidFile).trimmed().split('\n')
                                          : QList<QByteArray>();
            return pids.size() == 2;
        },
        5000));
    for (const QByteArray &pid : pids)
        EXPECT_TRUE(QFile::exists("/proc/" + pid));

    QTest::mouseClick(control<QPushButton>("cmdCancelTest"), Qt::LeftButton);
    EXPECT_EQ(status(), "Test cancelled.");
    // Gone, not left a zombie: the state in /proc/PID/stat is not Z either.
    const auto running = [](const QByteArray &pid) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
    };
    for (const QByteArray &pid : pids)
        EXPECT_TRUE(QTest::qWaitFor([&] { return !running(pid); }, 10000))
            << "still runs: " << pid.toStdString();
}

} // namespace
