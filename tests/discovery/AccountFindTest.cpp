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

} // namespace
