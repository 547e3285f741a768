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
    const QList<QByteArray> lines = {
        "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready",
        "A001 OK [CAPABILITY IMAP4rev1 UIDPLUS APPENDLIMIT=35882577 SPECIAL-USE] Logged in",
        "* LIST (\\HasNoChildren \\Drafts) \"/\" Brouillons",
        "* LIST (\\HasNoChildren) \"/\" \"My \\\"Stuff\\\"\"",
        "* LIST () \"/\" \"a b c\"", // a literal, as the session hands it on
        "* STATUS \"Drafts\" (MESSAGES 3 APPENDLIMIT 1000)",
        "A002 NO [OVERQUOTA] Quota exceeded",
        "A003 OK Logout completed",
    };
    const QList<QByteArray> capabilities = capabilitiesIn(lines);
    EXPECT_TRUE(capabilities.contains("UIDPLUS")) << "the later list wins";
    EXPECT_EQ(appendLimitIn(capabilities), 35882577u);
    EXPECT_EQ(appendLimitIn({"IMAP4REV1", "APPENDLIMIT"}), std::nullopt);

    const QList<ListedMailbox> folders = listedMailboxes(lines, "LIST");
    ASSERT_EQ(folders.size(), 3);
    EXPECT_EQ(folders[0].name, "Brouillons");
    EXPECT_TRUE(folders[0].attributes.contains("\\Drafts"));
    EXPECT_EQ(folders[1].name, "My \"Stuff\"");
    EXPECT_EQ(folders[2].name, "a b c");

    EXPECT_EQ(statusItem(lines, "APPENDLIMIT"), 1000u);
    EXPECT_EQ(statusItem(lines, "UIDNEXT"), std::nullopt);
    EXPECT_EQ(lastRefusal(lines), "NO [OVERQUOTA] Quota exceeded")
        << "the refusal, not the logout after it";
}

TEST(ImapResponses, ReadsResponsesAsTheProtocolDefinesThem)
{
    // A response code counts only right after the status.
    const ImapResponse coded = parseImapResponse("F0005 NO [OVERQUOTA] Quota exceeded");
    EXPECT_EQ(coded.kind, ImapResponse::Tagged);
    EXPECT_EQ(coded.tag, "F0005");
    EXPECT_EQ(coded.status, "NO");
    EXPECT_EQ(coded.codeName(), "OVERQUOTA");
    EXPECT_EQ(coded.rest, "Quota exceeded");
    EXPECT_EQ(parseImapResponse("F0005 NO the quota [OVERQUOTA] talk").codeName(), "");
    EXPECT_EQ(parseImapResponse("* 7 EXISTS").status, "");
    EXPECT_EQ(parseImapResponse("+ go ahead").kind, ImapResponse::Continuation);
    EXPECT_EQ(parseImapResponse("* BYE [UNAVAILABLE] going down").codeName(), "UNAVAILABLE");

    // A STATUS whose name came as a literal, with a quote and a backslash in it.
    const QByteArray literalName = quotedForResponse("My \"Drafts\" \\ x");
    EXPECT_EQ(
        statusItem({"* STATUS " + literalName + " (MESSAGES 2 APPENDLIMIT 100)"}, "APPENDLIMIT"),
        100u);
    const QList<ListedMailbox> listed = listedMailboxes(
        {"* LIST (\\HasNoChildren) NIL " + literalName, "* LIST (\\Noselect) \".\" INBOX"}, "LIST");
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed[0].name, "My \"Drafts\" \\ x");
    EXPECT_EQ(listed[0].delimiter, "");
    EXPECT_EQ(listed[1].delimiter, ".");

    const auto personal = personalNamespace(
        {"* NAMESPACE ((\"INBOX.\" \".\")(\"Shared.\" \".\")) NIL ((\"#public/\" \"/\"))"});
    ASSERT_TRUE(personal);
    EXPECT_EQ(personal->prefix, "INBOX.");
    EXPECT_EQ(personal->delimiter, ".");
    EXPECT_FALSE(personalNamespace({"* NAMESPACE NIL NIL NIL"}));

    EXPECT_EQ(searchResults({"* SEARCH 3 17", "F0009 OK done"}), (QList<std::uint64_t>{3, 17}));
    EXPECT_TRUE(searchResults({"* SEARCH"}).isEmpty());
}

} // namespace
