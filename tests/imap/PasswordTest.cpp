#include "mailbridge/MailAccount.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "mailbridge/password/PasswordCommand.h"
#include "mailbridge/password/PasswordResolution.h"
#include "support/MemoryPasswordStore.h"

#include "support/TestTools.h"

#include <QElapsedTimer>
#include <QMap>

namespace {

using namespace std::chrono_literals;

TEST(PasswordCommand, TakesTheFirstLineOrSaysWhatWentWrong)
{
    const struct
    {
        const char *command;
        QString password; // empty: fails
        const char *says;
    } rows[] = {
        {"printf 'p4ss word\\nsecond\\n'", "p4ss word", ""},
        {"printf 'crlf\\r\\n'", "crlf", ""},
        {"printf 'no newline'", "no newline", ""},
        {"echo 'locked: no key' >&2; exit 2", "", "exit status 2: locked: no key"},
        {"true", "", "printed no password"},
        {"echo; echo late", "", "printed no password"},
        {"sleep 5", "", "did not finish within 0.3 seconds"},
        {"read x; echo $x", "", "printed no password"}, // input is empty, never the terminal
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.command);
        QString password;
        const QString failure =
            failureOf([&] { password = runPasswordCommand(row.command, 300ms); });
        EXPECT_EQ(password, row.password);
        if (row.password.isEmpty()) {
            EXPECT_TRUE(failure.contains(row.says)) << failure.toStdString();
            EXPECT_TRUE(failure.contains(row.command)) << failure.toStdString();
        }
    }
}

TEST(PasswordResolution, KeyringFirstThenCommandThenNothing)
{
    MailAccount account;
    account.kind = MailAccountKind::Imap;
    account.imapHost = "imap.example.org";
    account.imapUser = "me";
    MemoryPasswordStore keyring;

    EXPECT_EQ(resolvePassword(account, keyring), std::nullopt) << "the window asks";
    EXPECT_EQ(keyring.reads, QStringList({passwordKey(account)}));

    account.passwordCommand = "echo from-command";
    EXPECT_EQ(resolvePassword(account, keyring), QString("from-command"));

    keyring.write(passwordKey(account), "from-keyring");
    account.passwordCommand = "exit 1";
    EXPECT_EQ(resolvePassword(account, keyring), QString("from-keyring"));

    keyring.remove(passwordKey(account));
    EXPECT_THROW(resolvePassword(account, keyring), Failure) << "a failing command is told";
}

TEST(PasswordResolution, AccountsOfOtherServersOrUsersHaveOtherKeys)
{
    MailAccount a;
    a.imapHost = "imap.example.org";
    a.imapUser = "me";
    MailAccount b = a;
    b.imapUser = "you";
    MailAccount c = a;
    c.imapPort = 1993;
    MailAccount d = a;
    d.imapHost = "IMAP.example.org";
    EXPECT_NE(passwordKey(a), passwordKey(b));
    EXPECT_NE(passwordKey(a), passwordKey(c));
    EXPECT_EQ(passwordKey(a), passwordKey(d)) << "host names ignore case";
}

TEST(KeychainPasswordStore, WithoutAKeyringThereIsNoPasswordAndNoCrash)
{
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ferrymail-test-bus");
    KeychainPasswordStore keyring(5s);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(keyring.read("imap://me@imap.example.org:993"), std::nullopt);
    EXPECT_THROW(keyring.write("imap://me@imap.example.org:993", "secret"), Failure);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
}

} // namespace
