#include "AccountWindowTest.h"
#include "app/frmAccount.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

// The window as a person meets it: clicks and keys delivered to its window.
class frmAccountLayoutTest : public AccountWindowTest
{
protected:
    void click(QWidget *widget)
    {
        ASSERT_TRUE(widget->isVisible()) << widget->objectName().toStdString();
        AccountWindowTest::click(widget);
    }
    // Whether the whole window, its frame included, is on a 1024×700 screen at its place.
    void expectFits(const char *state)
    {
        QTest::qWait(0);
        // At the top of a screen of that size, as a window manager puts a tall window.
        const QRect screen(dialog().screen()->geometry().topLeft(), QSize(1024, 700));
        dialog().move(screen.topLeft());
        const QRect frame = dialog().frameGeometry();
        EXPECT_LE(frame.width(), 1024) << state;
        EXPECT_LE(frame.height(), 700) << state;
        auto *ok = dialog().findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        const QRect okOnScreen(ok->mapToGlobal(QPoint(0, 0)), ok->size());
        EXPECT_TRUE(QRect(QPoint(0, 0), QSize(1024, 700))
                        .contains(okOnScreen.translated(-screen.topLeft())))
            << state << ": OK is off the screen; the window is at " << frame.x() << "," << frame.y()
            << " " << frame.width() << "x" << frame.height() << " on a screen of "
            << dialog().screen()->geometry().width() << "x"
            << dialog().screen()->geometry().height();
    }

    void press(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(target->window()->windowHandle(), key, modifiers);
    }
};

TEST_F(frmAccountLayoutTest, EachChoiceShowsOnlyTheFieldsItNeeds)
{
    const char *all[] = {"txtOutbox",   "txtSendmail",     "txtAddress",  "txtUser",
                         "txtHost",     "cboSecurity",     "txtFolder",   "txtSmtpHost",
                         "spnSmtpPort", "cboSmtpSecurity", "txtSmtpUser", "cboSaveSentCopy",
                         "txtPassword", "cboAuth",         "cmdTest"};
    const struct
    {
        const char *choice;
        std::vector<const char *> shown;
    } rows[] = {
        {"optMaildir", {"txtOutbox"}},
        {"optSendmail", {"txtSendmail"}},
        {"optImap",
         {"txtAddress", "txtUser", "txtHost", "cboSecurity", "txtFolder", "txtPassword", "cboAuth",
          "cmdTest"}},
        {"optSmtp",
         {"txtAddress", "txtUser", "txtSmtpHost", "spnSmtpPort", "cboSmtpSecurity", "txtSmtpUser",
          "cboSaveSentCopy", "txtPassword", "cboAuth", "cmdTest"}},
        {"optMaildir", {"txtOutbox"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.choice);
        click(control<QRadioButton>(row.choice));
        ASSERT_TRUE(control<QRadioButton>(row.choice)->isChecked());
        for (const char *name : all) {
            const bool wanted = std::find_if(row.shown.begin(), row.shown.end(), [&](auto n) {
                                    return QByteArray(n) == name;
                                }) != row.shown.end();
            EXPECT_EQ(control<QWidget>(name)->isVisible(), wanted) << name;
        }
        expectFits(row.choice);
    }
}

TEST_F(frmAccountLayoutTest, TheWindowFitsASmallScreenAlsoWithAdvancedOpen)
{
    // The tallest choice: an account signing in with OAuth 2.0 at a provider of its own.
    settings.values = {{"MailClient/Kind", "imap"},
                       {"MailClient/ImapAuth", "oauth2"},
                       {"MailClient/OAuth2Provider", "custom"}};
    expectFits("closed");
    auto *advanced = control<QToolButton>("cmdAdvanced");
    for (const char *rare : {"txtClientSecret", "txtAuthorizeUrl", "txtPasswordCommand"})
        EXPECT_FALSE(control<QWidget>(rare)->isVisible()) << rare;
    click(advanced);
    for (const char *rare : {"txtClientId", "txtClientSecret", "txtAuthorizeUrl", "txtTokenUrl",
                             "txtScope", "txtTokenCommand", "txtPasswordCommand"})
        EXPECT_TRUE(control<QWidget>(rare)->isVisible()) << rare;
    expectFits("Advanced open");
    click(control<QRadioButton>("optSmtp"));
    expectFits("Advanced open, SMTP");
    click(advanced);
    EXPECT_FALSE(control<QWidget>("txtClientSecret")->isVisible());
}

TEST_F(frmAccountLayoutTest, TheChoiceAndItsFieldsAreSaved)
{
    click(control<QRadioButton>("optSendmail"));
    QLineEdit *command = control<QLineEdit>("txtSendmail");
    click(command);
    for (const char c : std::string("msmtp -t"))
        QTest::keyClick(dialog().windowHandle(), c);
    click(dialog().findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
    EXPECT_EQ(settings.values.value("MailClient/Kind"), "sendmail");
    EXPECT_EQ(settings.values.value("MailClient/SendmailCommand"), "msmtp -t");
}

TEST_F(frmAccountLayoutTest, TheCopyInSentIsChosenBesideAnImapAccountAndKept)
{
    settings.values = {{"MailClient/Kind", "smtp"},
                       {"MailClient/SmtpHost", "smtp.example.org"},
                       {"MailClient/ImapHost", "imap.example.org"},
                       {"MailClient/ImapUser", "me@example.org"}};
    auto *copy = control<QComboBox>("cboSaveSentCopy");
    ASSERT_TRUE(copy->isVisible());
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_EQ(copy->currentText(), "Automatic (unless the provider keeps one itself)");
    expectFits("SMTP with its copy in Sent");

    // Chosen from its list as a person would: open it, two rows down, Enter.
    click(copy);
    QWidget *list = nullptr;
    ASSERT_TRUE(
        QTest::qWaitFor([&list] { return (list = QApplication::activePopupWidget()); }, 2000));
    press(list, Qt::Key_Down);
    press(list, Qt::Key_Down);
    press(list, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, 2000));
    EXPECT_EQ(copy->currentText(), "Never");
    click(dialog().findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
    EXPECT_EQ(settings.values.value("MailClient/SaveSentCopy"), "no");

    reopen();
    copy = control<QComboBox>("cboSaveSentCopy");
    EXPECT_EQ(copy->currentText(), "Never");
    EXPECT_EQ(readMailAccount(settings).saveSentCopy, SaveSentCopy::No);

    // Without the IMAP account's user there is nowhere to put a copy; the choice stays.
    click(control<QLineEdit>("txtUser"));
    press(copy, Qt::Key_A, Qt::ControlModifier);
    press(copy, Qt::Key_Backspace);
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_EQ(copy->currentText(), "Never");
    click(control<QRadioButton>("optImap"));
    EXPECT_FALSE(copy->isVisible());
}

} // namespace
