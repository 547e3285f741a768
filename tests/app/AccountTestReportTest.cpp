#include "app/AccountTestReport.h"

#include "mailbridge/imap/ImapAccountCheck.h"
#include "support/TestTools.h"

namespace {

ImapAccountCheck aCheck()
{
    ImapAccountCheck check;
    check.greeting = "* OK [CAPABILITY IMAP4rev1] Ready.\r\n";
    check.capabilities = "IMAP4rev1 SASL-IR LITERAL+ APPENDLIMIT=26214400";
    check.folder = "Drafts";
    check.folderChoice = "the server marks it \\Drafts";
    return check;
}

TEST(AccountTestReport, PlainLinesSayWhoWhereAndHowLarge)
{
    ImapAccountCheck check = aCheck();
    check.appendLimit = 26214400;
    const AccountTestReport report = accountTestReport(check, "me@example.org", "127.0.0.1");
    EXPECT_EQ(report.lines, "Logged in as me@example.org on 127.0.0.1.\n"
                            "Drafts go to \"Drafts\" (the server marks it \\Drafts).\n"
                            "The server takes messages of up to 26.2 MB.");

    check.appendLimit.reset();
    EXPECT_TRUE(accountTestReport(check, "me", "h")
                    .lines.endsWith("The server states no size limit for messages."));
}

TEST(AccountTestReport, TheServersOwnWordsAreOnlyInTheDetails)
{
    const AccountTestReport report = accountTestReport(aCheck(), "me", "h");
    EXPECT_FALSE(report.lines.contains("IMAP4rev1")) << report.lines;
    EXPECT_EQ(report.details, "The server greeted: * OK [CAPABILITY IMAP4rev1] Ready.\n\n"
                              "Capabilities:\nIMAP4rev1\nSASL-IR\nLITERAL+\nAPPENDLIMIT=26214400");
}

} // namespace
