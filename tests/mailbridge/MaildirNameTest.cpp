#include "mailbridge/maildir/MaildirName.h"

#include "support/TestTools.h"

#include <QStringList>

namespace {

MaildirNameParts parts(std::int64_t seconds, int microseconds, std::uint64_t counter)
{
    MaildirNameParts p;
    p.seconds = seconds;
    p.microseconds = microseconds;
    p.pid = 4242;
    p.counter = counter;
    p.host = QStringLiteral("box.example");
    return p;
}

TEST(MaildirName, PadsEveryNumberToAFixedWidth)
{
    EXPECT_EQ(maildirName(parts(1700000000, 42, 7)),
              QStringLiteral("1700000000.M000042P0000004242Q0000000007.box.example"));
    EXPECT_EQ(maildirName(parts(5, 0, 0)),
              QStringLiteral("0000000005.M000000P0000004242Q0000000000.box.example"));
}

TEST(MaildirName, SortsInTheOrderTheNamesWereMade)
{
    // Same microsecond with the counter growing a digit; a second ticking over; the seconds
    // growing a digit: each later name must sort after the earlier.
    const QStringList inOrder = {
        maildirName(parts(999999999, 999999, 9)),    maildirName(parts(999999999, 999999, 10)),
        maildirName(parts(1000000000, 0, 11)),       maildirName(parts(1000000000, 1, 12)),
        maildirName(parts(1699999999, 999999, 99)),  maildirName(parts(1700000000, 0, 100)),
        maildirName(parts(1700000000, 100000, 101)),
    };
    QStringList sorted = inOrder;
    sorted.sort();
    EXPECT_EQ(sorted, inOrder);
}

TEST(MaildirName, EscapesWhatMaildirReservesInTheHost)
{
    MaildirNameParts p = parts(1, 2, 3);
    p.host = QStringLiteral("a/b:c\\d");
    EXPECT_TRUE(maildirName(p).endsWith(QStringLiteral(".a\\057b\\072c\\134d")));
    EXPECT_FALSE(maildirName(p).section(QLatin1Char('.'), 1).contains(QLatin1Char('/')));
    p.host.clear();
    EXPECT_TRUE(maildirName(p).endsWith(QStringLiteral(".localhost")));
}

TEST(MaildirName, NextPartsNeverRepeatOrGoBack)
{
    MaildirNameParts previous = nextMaildirNameParts();
    for (int i = 0; i < 1000; ++i) {
        const MaildirNameParts next = nextMaildirNameParts();
        ASSERT_GT(next.counter, previous.counter);
        ASSERT_LT(maildirName(previous), maildirName(next));
        previous = next;
    }
    EXPECT_EQ(previous.pid, ::getpid());
}

} // namespace
