#include "mailbridge/imap/ImapResponses.h"
#include "mailbridge/imap/MailboxName.h"

#include "support/TestTools.h"

namespace {

TEST(MailboxName, EncodesAndDecodesModifiedUtf7)
{
    const struct
    {
        QString name;
        QByteArray encoded;
    } rows[] = {{"Drafts", "Drafts"},
                {"Entwürfe", "Entw&APw-rfe"},
                {"A & B", "A &- B"},
                {"日本語", "&ZeVnLIqe-"},
                {"x~é/ö", "x~&AOk-/&APY-"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.encoded.toStdString());
        EXPECT_EQ(encodeMailboxName(row.name), row.encoded);
        EXPECT_EQ(decodeMailboxName(row.encoded), row.name);
    }
    EXPECT_EQ(imapQuoted("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
}

TEST(ImapResponses, ReadsWhatTheSessionNeeds)
{
    const QList<ImapResponse> responses = parsedResponses({
        "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready",
        "A001 OK [CAPABILITY IMAP4rev1 UIDPLUS APPENDLIMIT=35882577 SPECIAL-USE] Logged in",
        "* LIST (\\HasNoChildren \\Drafts) \"/\" Brouillons",
        "* LIST (\\HasNoChildren) \"/\" \"My \\\"Stuff\\\"\"",
        "* LIST () \"/\" {5}\r\na b c",
        "* LIST (\\HasNoChildren) NIL {15}\r\nMy \"Drafts\" \\ x",
        "* STATUS {6}\r\nDrafts (MESSAGES 3 APPENDLIMIT 1000)",
        "A002 NO [OVERQUOTA] Quota exceeded",
        "A003 OK Logout completed",
    });
    ASSERT_EQ(responses.size(), 9);
    const QList<QByteArray> capabilities = capabilitiesIn(responses);
    EXPECT_TRUE(capabilities.contains("UIDPLUS")) << "the later list wins";
    EXPECT_EQ(appendLimitIn(capabilities), 35882577u);
    EXPECT_EQ(appendLimitIn({"IMAP4REV1", "APPENDLIMIT"}), std::nullopt);
    EXPECT_EQ(capabilitiesIn(parsedResponses({"* CAPABILITY IMAP4rev1 literal+"})),
              (QList<QByteArray>{"IMAP4REV1", "LITERAL+"}));

    const QList<ListedMailbox> folders = listedMailboxes(responses, "LIST");
    ASSERT_EQ(folders.size(), 4);
    EXPECT_EQ(folders[0].name, "Brouillons");
    EXPECT_TRUE(folders[0].attributes.contains("\\Drafts"));
    EXPECT_EQ(folders[1].name, "My \"Stuff\"");
    EXPECT_EQ(folders[2].name, "a b c") << "a literal is a string like any other";
    EXPECT_EQ(folders[3].name, "My \"Drafts\" \\ x");
    EXPECT_EQ(folders[3].delimiter, "");

    EXPECT_EQ(statusItem(responses, "APPENDLIMIT"), 1000u);
    EXPECT_EQ(statusItem(responses, "UIDNEXT"), std::nullopt);
    EXPECT_EQ(lastRefusal(responses), "NO [OVERQUOTA] Quota exceeded")
        << "the refusal, not the logout after it";

    const auto personal = personalNamespace(parsedResponses(
        {"* NAMESPACE ((\"INBOX.\" \".\")(\"Shared.\" \".\")) NIL ((\"#public/\" \"/\"))"}));
    ASSERT_TRUE(personal);
    EXPECT_EQ(personal->prefix, "INBOX.");
    EXPECT_EQ(personal->delimiter, ".");
    EXPECT_FALSE(personalNamespace(parsedResponses({"* NAMESPACE NIL NIL NIL"})));

    EXPECT_EQ(searchResults(parsedResponses({"* SEARCH 3 17", "F0009 OK done"})),
              (QList<std::uint64_t>{3, 17}));
    EXPECT_TRUE(searchResults(parsedResponses({"* SEARCH"})).isEmpty());
}

} // namespace
