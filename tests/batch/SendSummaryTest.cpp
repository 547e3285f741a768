#include "batch/SendSummary.h"

#include "support/TestTools.h"

#include <QTextBoundaryFinder>

namespace {

TEST(SendSummary, AStoppedSendSaysWhatWasFiledAndWhatWasNot)
{
    EXPECT_EQ(sendStoppedText(1, 3, {"b.bin", "c.bin"}),
              "Stopped: 1 of 3 messages filed. Not sent: b.bin, c.bin");
    EXPECT_EQ(sendStoppedText(0, 1, {"a.bin"}), "Stopped: 0 of 1 message filed. Not sent: a.bin");
    // Everything went before the stop landed.
    EXPECT_EQ(sendStoppedText(2, 2, {}), "Stopped: 2 of 2 messages filed.");
    // Stopped before the plan was reported: never fewer planned than filed.
    EXPECT_EQ(sendStoppedText(2, 0, {}), "Stopped: 2 of 2 messages filed.");
}

TEST(SendSummary, ALongListOfUnsentFilesIsCutAndCounted)
{
    QStringList unsent;
    for (int n = 1; n <= 8; ++n)
        unsent << QStringLiteral("f%1").arg(n);
    EXPECT_EQ(sendStoppedText(0, 8, unsent),
              "Stopped: 0 of 8 messages filed. Not sent: f1, f2, f3, f4, f5 and 3 more");
    EXPECT_EQ(sendStoppedText(0, 5, unsent.mid(0, 5)),
              "Stopped: 0 of 5 messages filed. Not sent: f1, f2, f3, f4, f5");
}

TEST(SendSummary, ThePathOfTheOutboxIsNeverBrokenAcrossLines)
{
    const QString summary = "4 messages in the outbox folder ~/.local/share/My Mail/Outbox";
    const QString line = keepPathWhole(outcomeLine("14:02", summary));
    // Reads the same once the invisible joiners and no-break spaces are taken out.
    QString plain = line;
    plain.remove(QChar(0x2060)).replace(QChar(0x00A0), QLatin1Char(' '));
    EXPECT_EQ(plain, QString::fromUtf8("14:02 \u2014 4 messages in the outbox folder "
                                       "~/.local/share/My Mail/Outbox"));
    // The words before the path may wrap; the path offers no place to break.
    const qsizetype path = line.indexOf(QLatin1Char('~'));
    EXPECT_EQ(line.left(path), QString::fromUtf8("14:02 \u2014 4 messages in the outbox folder "));
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, line);
    breaks.setPosition(path + 1);
    EXPECT_EQ(breaks.toNextBoundary(), line.size());
    // Nothing to keep together: the text stays as it is.
    EXPECT_EQ(keepPathWhole("Sent to ann@example.org and bob@example.org: 3 messages"),
              "Sent to ann@example.org and bob@example.org: 3 messages");
    EXPECT_TRUE(keepPathWhole("in /srv/out").startsWith("in /"));
}

} // namespace
