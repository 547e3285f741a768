#include "cli/AccountFind.h"
#include "support/TestTools.h"

namespace {

struct Ran
{
    int exitCode;
    QString out;
    QString err;
    QStringList searched;
};

Ran runWith(const QList<QByteArray> &arguments, DiscoveryResult::Outcome outcome)
{
    Ran ran{};
    const SettingsSearch search = [&](const QString &address) {
        ran.searched << address;
        DiscoveryResult result;
        result.outcome = outcome;
        result.address = address;
        result.source = "from the list of known providers";
        result.settings.host = "imap.example.org";
        result.reason = "Why not.";
        return result;
    };
    QTextStream out(&ran.out);
    QTextStream err(&ran.err);
    ran.exitCode = runAccountCommand(arguments, search, out, err);
    return ran;
}

TEST(AccountFindCommand, WrongArgumentsSearchNothing)
{
    for (const QList<QByteArray> &arguments :
         {QList<QByteArray>{}, QList<QByteArray>{"find"}, QList<QByteArray>{"me@example.org"},
          QList<QByteArray>{"find", "a@example.org", "b@example.org"},
          QList<QByteArray>{"find", "--json"}}) {
        const Ran ran = runWith(arguments, DiscoveryResult::Outcome::Found);
        EXPECT_EQ(ran.exitCode, 2);
        EXPECT_TRUE(ran.searched.isEmpty());
        EXPECT_TRUE(ran.err.startsWith("Usage: ferrymail account find ADDRESS")) << ran.err;
    }
    const Ran help = runWith({"--help"}, DiscoveryResult::Outcome::Found);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: ferrymail account find ADDRESS")) << help.out;
}

// What is typed at the prompt may carry anything: a line break would forge a second
// "Server:" line, an escape would drive the terminal.
TEST(AccountFindCommand, AnAddressThatCannotBeOneIsRefusedBeforeAnySearch)
{
    for (const QByteArray &address :
         {QByteArray("evil\nServer: attacker.example@t1.test"), QByteArray("a\x1b[2K@t1.test"),
          QByteArray("x@@t1.test"), QByteArray("a@b@t1.test"), QByteArray("@t1.test"),
          QByteArray("me@"), QByteArray("no-at-all")}) {
        SCOPED_TRACE(address.toStdString());
        const Ran ran = runWith({"find", address}, DiscoveryResult::Outcome::Found);
        EXPECT_EQ(ran.exitCode, 2);
        EXPECT_TRUE(ran.searched.isEmpty());
        EXPECT_TRUE(ran.out.isEmpty());
        EXPECT_TRUE(ran.err.contains("is not an email address")) << ran.err;
        EXPECT_EQ(ran.err.count('\n'), 1) << "one line: " << ran.err;
        EXPECT_FALSE(ran.err.contains(QChar(0x1b)));
    }
    EXPECT_EQ(runWith({"find", "me@t1.test"}, DiscoveryResult::Outcome::Found).exitCode, 0);
}

// Names from DNS reach the terminal with their control characters escaped.
TEST(AccountFindCommand, WhatTheSearchFoundIsPrintedAsText)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const SettingsSearch search = [](const QString &address) {
        DiscoveryResult result;
        result.outcome = DiscoveryResult::Outcome::LookupFailed;
        result.address = address;
        result.reason = "The name server said \x1b]0;owned\x07 and \rnothing.";
        return result;
    };
    EXPECT_EQ(runAccountCommand({"find", "me@t1.test"}, search, outStream, errStream), 1);
    EXPECT_FALSE(err.contains(QChar(0x1b)));
    EXPECT_FALSE(err.contains(QChar('\r')));
    EXPECT_TRUE(err.contains("\\x1b]0;owned\\x07 and \\rnothing.")) << err;
}

} // namespace
