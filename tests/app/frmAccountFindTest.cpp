#include "AccountWindowTest.h"
#include "MainWindowTest.h"
#include "app/frmAccount.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/ScriptRun.h"
#include "support/TestTools.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Find settings with input as it arrives from the window system. Only addresses the list of
// known providers answers, or that are no address at all: this program has no DNS of its own.
class frmAccountFindTest : public AccountWindowTest
{
protected:
    QString status() { return control<QLabel>("lblStatus")->text(); }
    void typeInto(QWidget *field, const QString &text)
    {
        click(field);
        QWindow *window = dialog().windowHandle();
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_Delete);
        for (const QChar c : text)
            QTest::keyClick(window, c.toLatin1());
    }
    // Clicks Find settings and waits for its answer.
    void findSettings()
    {
        auto *find = control<QPushButton>("cmdFind");
        click(find);
        EXPECT_TRUE(QTest::qWaitFor([find] { return find->isEnabled(); }, 5000));
    }
};

TEST_F(frmAccountFindTest, TheWindowAndTheCommandLineProposeTheSameForEveryKnownProvider)
{
    const struct
    {
        const char *name;
        QMap<QString, QString> keys;
    } settingsRows[] = {
        {"no settings yet", {}},
        {"the person's own client for Google and Microsoft",
         {{"MailClient/Kind", "imap"},
          {"MailClient/ImapAuth", "oauth2"},
          {"MailClient/OAuth2Provider", "google"},
          {"MailClient/OAuth2ClientId", "my-google-client"},
          {"MailClient/OAuth2ClientSecret", "my-google-secret"}}},
    };
    QTemporaryDir home;
    int oauth = 0;
    for (const auto &row : settingsRows) {
        QDir().mkpath(home.filePath("config/Ferrymail"));
        QFile file(home.filePath("config/Ferrymail/Ferrymail.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[MailClient]\n");
        for (auto key = row.keys.begin(); key != row.keys.end(); ++key)
            file.write(key.key().section('/', 1).toUtf8() + '=' + key.value().toUtf8() + '\n');
        file.close();
        for (const QString &domain : knownProviderDomains()) {
            SCOPED_TRACE(QStringLiteral("%1, %2").arg(row.name, domain).toStdString());
            const QString address = "someone@" + domain;
            const CommandRun found =
                runAsScript(FERRYMAIL_BINARY, home.path(), {"account", "find", address});
            EXPECT_EQ(found.exitCode, 0) << found.err;
            reopen();
            settings.values = row.keys;
            click(control<QRadioButton>("optImap"));
            typeInto(control<QLineEdit>("txtAddress"), address);
            findSettings();
            EXPECT_EQ(status().trimmed(), found.out.trimmed());
            oauth += status().contains("OAuth 2.0") ? 1 : 0;
        }
    }
    EXPECT_GT(oauth, 0) << "a sign-in is proposed where a client ID is there";
}

TEST_F(frmAccountFindTest, FindFillsTheServerAndSaysWhereItCameFromAndTheRestStaysEditable)
{
    // The person's own client for Google: a sign-in can be completed.
    settings.values = {{"MailClient/Kind", "imap"},
                       {"MailClient/ImapPort", "1143"},
                       {"MailClient/ImapSecurity", "starttls"},
                       {"MailClient/ImapAuth", "oauth2"},
                       {"MailClient/OAuth2Provider", "google"},
                       {"MailClient/OAuth2ClientId", "my-google-client"}};
    typeInto(control<QLineEdit>("txtAddress"), "ann@gmail.com");
    EXPECT_EQ(control<QLineEdit>("txtAddress")->text(), "ann@gmail.com");
    findSettings();

    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "imap.gmail.com");
    EXPECT_EQ(control<QSpinBox>("spnPort")->value(), 993);
    EXPECT_EQ(control<QComboBox>("cboSecurity")->currentText(), "TLS");
    EXPECT_EQ(control<QLineEdit>("txtUser")->text(), "ann@gmail.com");
    EXPECT_TRUE(status().contains("ann@gmail.com, from the list of known providers")) << status();
    EXPECT_TRUE(status().contains("Sign-in: OAuth 2.0 with Google")) << status();
    EXPECT_EQ(control<QComboBox>("cboAuth")->currentIndex(), 1) << "the sign-in kind follows";
    EXPECT_EQ(control<QLineEdit>("txtClientId")->text(), "my-google-client");
    EXPECT_EQ(control<QComboBox>("cboProvider")->currentIndex(), 1);
    EXPECT_TRUE(settings.writes.isEmpty()) << "Find saves nothing";
    // This person keeps an app password instead.
    control<QComboBox>("cboAuth")->setCurrentIndex(0);

    // What was found is only a proposal.
    typeInto(control<QLineEdit>("txtHost"), "imap.example.org");
    click(dialog().findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
    EXPECT_EQ(dialog().result(), QDialog::Accepted);
    EXPECT_EQ(settings.values.value("MailClient/ImapHost"), "imap.example.org");
    EXPECT_EQ(settings.values.value("MailClient/ImapPort"), "993");
    EXPECT_EQ(settings.values.value("MailClient/ImapSecurity"), "tls");
    EXPECT_EQ(settings.values.value("MailClient/ImapUser"), "ann@gmail.com");
}

TEST_F(frmAccountFindTest, ASecondAddressReplacesWhatTheFirstFilledInAndItsClient)
{
    settings.values = {{"MailClient/Kind", "smtp"},
                       {"MailClient/OAuth2Provider", "google"},
                       {"MailClient/OAuth2ClientId", "my-google-client"},
                       {"MailClient/OAuth2ClientSecret", "my-google-secret"}};
    typeInto(control<QLineEdit>("txtAddress"), "ann@gmail.com");
    findSettings();
    EXPECT_EQ(control<QLineEdit>("txtSmtpHost")->text(), "smtp.gmail.com");
    EXPECT_EQ(control<QSpinBox>("spnSmtpPort")->value(), 465);
    EXPECT_EQ(control<QComboBox>("cboAuth")->currentIndex(), 1);
    typeInto(control<QLineEdit>("txtUser"), "ann.login");

    // This build has no client of its own for Microsoft: an app password, and how to make one.
    typeInto(control<QLineEdit>("txtAddress"), "bob@outlook.com");
    findSettings();
    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "outlook.office365.com");
    EXPECT_EQ(control<QLineEdit>("txtSmtpHost")->text(), "smtp-mail.outlook.com");
    EXPECT_EQ(control<QSpinBox>("spnSmtpPort")->value(), 587);
    EXPECT_EQ(control<QComboBox>("cboSmtpSecurity")->currentText(), "STARTTLS");
    EXPECT_EQ(control<QLineEdit>("txtUser")->text(), "bob@outlook.com");
    EXPECT_TRUE(control<QLineEdit>("txtClientId")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("txtClientSecret")->text().isEmpty());
    EXPECT_EQ(control<QComboBox>("cboAuth")->currentIndex(), 0) << "no OAuth it cannot finish";
    EXPECT_TRUE(status().contains("Sign-in: password")) << status();
    EXPECT_TRUE(status().contains("app password")) << status();
    EXPECT_TRUE(status().contains("Largest message: 20 MB")) << status();
}

TEST_F(frmAccountFindTest, NoAddressChangesNothingAndSaysWhy)
{
    settings.values = {{"MailClient/Kind", "imap"},
                       {"MailClient/ImapHost", "imap.example.org"},
                       {"MailClient/ImapPort", "1993"}};
    typeInto(control<QLineEdit>("txtAddress"), "ann at example.org");
    findSettings();
    EXPECT_TRUE(status().contains("\"ann at example.org\" is not an email address")) << status();
    EXPECT_EQ(control<QLineEdit>("txtHost")->text(), "imap.example.org");
    EXPECT_EQ(control<QSpinBox>("spnPort")->value(), 1993);
}

TEST_F(frmAccountFindTest, TheAddressStartsFromTheSenderElseAnAddressAsUserName)
{
    settings.values = {{"MailClient/Kind", "imap"}, {"MailClient/ImapUser", "me@posteo.de"}};
    EXPECT_EQ(control<QLineEdit>("txtAddress")->text(), "me@posteo.de");
    dialog().setAddress("");
    EXPECT_EQ(control<QLineEdit>("txtAddress")->text(), "me@posteo.de");
    dialog().setAddress("Ann Smith <ann@example.org>");
    EXPECT_EQ(control<QLineEdit>("txtAddress")->text(), "ann@example.org");
}

TEST_F(frmAccountFindTest, FindBelongsToTheAccounts)
{
    for (const char *kind : {"optMaildir", "optSendmail"}) {
        click(control<QRadioButton>(kind));
        EXPECT_FALSE(control<QPushButton>("cmdFind")->isVisible()) << kind;
    }
    for (const char *kind : {"optImap", "optSmtp"}) {
        click(control<QRadioButton>(kind));
        EXPECT_TRUE(control<QRadioButton>(kind)->isChecked());
        EXPECT_TRUE(control<QPushButton>("cmdFind")->isVisible()) << kind;
        EXPECT_TRUE(control<QPushButton>("cmdFind")->isEnabled()) << kind;
    }
}

using frmMainFindTest = MainWindowTest;

TEST_F(frmMainFindTest, TheMailAccountWindowStartsFromTheSender)
{
    open();
    typeInto(combo("cboFrom"), "Ann <ann@outlook.com>");
    QString shown;
    // The dialog opens within the key's delivery; look until it is there.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<frmAccount *>(QApplication::activeModalWidget())) {
            poll.stop();
            shown = dialog->findChild<QLineEdit *>("txtAddress")->text();
            dialog->reject();
        }
    });
    poll.start(10);
    QTest::keyClick(window->windowHandle(), Qt::Key_Comma, Qt::ControlModifier);
    poll.stop();
    EXPECT_EQ(shown, "ann@outlook.com");
}

} // namespace
