#include "MainWindowTest.h"
#include "app/DestinationLine.h"
#include "app/frmAccount.h"
#include "mailbridge/wiring/DestinationWords.h"
#include "support/MemoryPasswordStore.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

using frmMainDestinationTest = MainWindowTest;

TEST(DestinationText, SaysWhereEachChoiceSendsInPlainWords)
{
    const struct
    {
        QMap<QString, QString> keys;
        const char *text; // the whole text, or its start with "…"
    } rows[] = {
        {{{"MailClient/Kind", "maildir"}, {"MailClient/Outbox", "/srv/out"}},
         "Into the outbox folder /srv/out"},
        {{{"MailClient/Kind", "imap"},
          {"MailClient/ImapHost", "imap.example.org"},
          {"MailClient/ImapUser", "me@example.org"}},
         "Into the Drafts of me@example.org at imap.example.org"},
        {{{"MailClient/Kind", "imap"},
          {"MailClient/ImapHost", "imap.example.org"},
          {"MailClient/ImapUser", "me@example.org"},
          {"MailClient/ImapFolder", "Outgoing"}},
         "Into the folder \"Outgoing\" of me@example.org at imap.example.org"},
        {{{"MailClient/Kind", "smtp"},
          {"MailClient/SmtpHost", "smtp.example.org"},
          {"MailClient/ImapUser", "me@example.org"}},
         "Sends through smtp.example.org as me@example.org"},
        {{{"MailClient/Kind", "smtp"}, {"MailClient/SmtpHost", "smtp.example.org"}},
         "Sends through smtp.example.org"},
        {{{"MailClient/Kind", "smtp"},
          {"MailClient/SmtpHost", "smtp.gmail.com"},
          {"MailClient/SmtpUser", "ann@gmail.com"}},
         "Sends through smtp.gmail.com as ann@gmail.com"},
        {{{"MailClient/Kind", "sendmail"}}, "Through this computer's sendmail"},
        {{{"MailClient/Kind", "sendmail"}, {"MailClient/SendmailCommand", "msmtp -t"}},
         "Through this computer's sendmail (msmtp -t)"},
        {{{"MailClient/Kind", "mapi"}}, "Where messages go cannot be read: The setting Kind=mapi"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        MemorySettingsStore store;
        store.values = row.keys;
        const QString text = destinationText(store);
        const QString expected = QString::fromUtf8(row.text);
        if (row.keys.value("MailClient/Kind") == "mapi")
            EXPECT_TRUE(text.startsWith(expected)) << text;
        else
            EXPECT_EQ(text, expected);
    }
}

TEST_F(frmMainDestinationTest, FirstStartSaysWhereMessagesGoAndTheButtonChangesIt)
{
    open();
    auto *line = control<QLabel>("lblDestination");
    ASSERT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().startsWith("Messages go into the outbox folder ")) << line->text();
    EXPECT_TRUE(line->text().contains("Ferrymail/Outbox")) << line->text();
    EXPECT_TRUE(line->text().endsWith("click Mail account…")) << line->text();

    // The button opens the Mail account window; there the person chooses SMTP.
    bool chosen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<frmAccount *>(QApplication::activeModalWidget());
        if (!dialog || !QTest::qWaitForWindowExposed(dialog))
            return;
        poll.stop();
        QWindow *window = dialog->windowHandle();
        auto *smtp = dialog->findChild<QRadioButton *>("optSmtp");
        QTest::mouseClick(window, Qt::LeftButton, {},
                          smtp->mapTo(dialog, QPoint(8, smtp->height() / 2)));
        auto *host = dialog->findChild<QLineEdit *>("txtSmtpHost");
        auto *user = dialog->findChild<QLineEdit *>("txtUser");
        for (auto [field, text] :
             {std::pair{host, "smtp.example.org"}, std::pair{user, "me@example.org"}}) {
            QTest::mouseClick(window, Qt::LeftButton, {}, field->mapTo(dialog, QPoint(8, 8)));
            for (const char c : std::string(text))
                QTest::keyClick(window, c);
        }
        chosen = smtp->isChecked() && host->text() == "smtp.example.org";
        auto *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QTest::mouseClick(window, Qt::LeftButton, {}, ok->mapTo(dialog, ok->rect().center()));
    });
    poll.start(20);
    auto *button = control<QToolButton>("cmdMailAccount");
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(window.get(), button->rect().center()));
    poll.stop();
    EXPECT_TRUE(chosen);
    EXPECT_EQ(settings.values.value("MailClient/Kind"), "smtp");
    EXPECT_EQ(line->text(), "Sends through smtp.example.org as me@example.org");
    EXPECT_TRUE(boxes.empty());
}

TEST(DestinationText, TheInstructionsSayWhatSendDoesWhereMessagesGoNow)
{
    const struct
    {
        const char *name;
        QMap<QString, QString> keys;
        QStringList told;
        QStringList untold;
    } rows[] = {
        {"nothing chosen yet",
         {},
         {"No mail account is set up yet", "Send asks", "outbox folder"},
         {"send them from"}},
        {"a Maildir folder",
         {{"MailClient/Kind", "maildir"}, {"MailClient/Outbox", "/srv/out"}},
         {"filed whole into the outbox folder /srv/out", "review the messages there"},
         {"at once"}},
        {"the Drafts alone",
         {{"MailClient/Kind", "imap"},
          {"MailClient/ImapHost", "imap.example.org"},
          {"MailClient/ImapUser", "me@example.org"}},
         {"as a draft into the Drafts folder of me@example.org at imap.example.org",
          "send them from there."},
         {"Send the reviewed drafts"}},
        {"the Drafts and a server to send them",
         {{"MailClient/Kind", "imap"},
          {"MailClient/ImapHost", "imap.example.org"},
          {"MailClient/ImapUser", "me@example.org"},
          {"MailClient/SmtpHost", "smtp.example.org"}},
         {"\"Send the reviewed drafts\"", "through smtp.example.org"},
         {}},
        {"sent at once, with copies",
         {{"MailClient/Kind", "smtp"},
          {"MailClient/SmtpHost", "smtp.example.org"},
          {"MailClient/ImapHost", "imap.example.org"},
          {"MailClient/ImapUser", "me@example.org"}},
         {"goes out at once", "through smtp.example.org as me@example.org", "Sent folder"},
         {"draft", "review"}},
        {"sent at once, no copies",
         {{"MailClient/Kind", "smtp"},
          {"MailClient/SmtpHost", "smtp.example.org"},
          {"MailClient/ImapHost", "imap.example.org"},
          {"MailClient/ImapUser", "me@example.org"},
          {"MailClient/SaveSentCopy", "no"}},
         {"goes out at once"},
         {"Sent folder"}},
        {"sendmail",
         {{"MailClient/Kind", "sendmail"}, {"MailClient/SendmailCommand", "msmtp -t"}},
         {"handed to this computer's sendmail (msmtp -t)"},
         {"review"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MemorySettingsStore store;
        store.values = row.keys;
        const QString text = sendEffectText(store);
        EXPECT_TRUE(text.contains("Mail account window")) << text;
        for (const QString &told : row.told)
            EXPECT_TRUE(text.contains(told)) << text << " lacks " << told;
        for (const QString &untold : row.untold)
            EXPECT_FALSE(text.contains(untold)) << text << " has " << untold;
    }
}

TEST(DestinationText, TheProvidersDocumentedLimitGoesBesideTheSizeField)
{
    MemorySettingsStore store;
    store.values = {{"MailClient/Kind", "smtp"},
                    {"MailClient/SmtpHost", "smtp.mail.me.com"},
                    {"MailClient/ImapUser", "ann@icloud.com"}};
    EXPECT_EQ(providerLimitText(store), "iCloud Mail: at most 20 MB a message");
    store.values["MailClient/Kind"] = "sendmail";
    EXPECT_EQ(providerLimitText(store), "") << "not the account that sends";
    store.values = {{"MailClient/Kind", "imap"},
                    {"MailClient/ImapHost", "imap.example.org"},
                    {"MailClient/ImapUser", "ann@example.org"}};
    EXPECT_EQ(providerLimitText(store), "");
}

TEST_F(frmMainDestinationTest, TheLineFollowsTheSettingsItStartsWith)
{
    settings.values = {{"MailClient/Kind", "maildir"},
                       {"MailClient/Outbox", temp.filePath("Outbox")}};
    open();
    EXPECT_EQ(control<QLabel>("lblDestination")->text(),
              "Into the outbox folder " + temp.filePath("Outbox"));
    EXPECT_TRUE(control<QLabel>("lblSizeLimit")->text().isEmpty());
    window.reset();
    settings.values = {{"MailClient/Kind", "smtp"},
                       {"MailClient/SmtpHost", "smtp.gmail.com"},
                       {"MailClient/ImapUser", "ann@gmail.com"}};
    open();
    EXPECT_EQ(control<QLabel>("lblDestination")->text(),
              "Sends through smtp.gmail.com as ann@gmail.com");
    auto *limit = control<QLabel>("lblSizeLimit");
    EXPECT_EQ(limit->text(), "Gmail: at most 25 MB a message");
    // Beside the size field, on its line.
    EXPECT_EQ(limit->y(), edit("txtSize")->y());
    EXPECT_GT(limit->x(), control<QWidget>("UpDown1")->geometry().right());
}

} // namespace

namespace {

// For looking at: run with --gtest_also_run_disabled_tests and FERRYMAIL_SCREENSHOT=prefix.
TEST_F(frmMainDestinationTest, DISABLED_SavesScreenshots)
{
    open();
    QTest::qWait(200);
    const QString prefix = qEnvironmentVariable("FERRYMAIL_SCREENSHOT");
    ASSERT_FALSE(prefix.isEmpty());
    EXPECT_TRUE(window->grab().save(prefix + "-main.png"));
    MemoryPasswordStore keyring;
    settings.values = {{"MailClient/Kind", "smtp"},
                       {"MailClient/SmtpHost", "smtp.gmail.com"},
                       {"MailClient/ImapUser", "ann@gmail.com"},
                       {"MailClient/SmtpAuth", "oauth2"},
                       {"MailClient/OAuth2Provider", "google"}};
    frmAccount dialog(settings, keyring, nullptr);
    dialog.show();
    QTest::qWait(100);
    EXPECT_TRUE(dialog.grab().save(prefix + "-smtp.png"));
    dialog.findChild<QToolButton *>("cmdAdvanced")->click();
    QTest::qWait(100);
    EXPECT_TRUE(dialog.grab().save(prefix + "-advanced.png"));
    dialog.reject();
}

} // namespace
