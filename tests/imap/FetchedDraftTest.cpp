// What a FETCH of a draft's description tells, read from responses as servers send them.
#include "mailbridge/imap/FetchedDraft.h"

#include "support/TestTools.h"

namespace {

ImapResponse response(const QByteArray &text)
{
    const auto parsed = parseImapResponse(text);
    if (!parsed)
        throw std::runtime_error("not one response: " + text.toStdString());
    return *parsed;
}

FolderDraft draftFrom(const QByteArray &text)
{
    return fetchedDraft(*fetchItems(response(text)));
}

QStringList namesIn(const QByteArray &bodyStructure)
{
    return attachmentNames(response("* BODYSTRUCTURE " + bodyStructure).data.at(1));
}

std::string complaintAbout(const QByteArray &text)
{
    try {
        const auto items = fetchItems(response(text));
        if (items)
            fetchedDraft(*items);
    } catch (const ImapReadError &error) {
        return error.what();
    }
    return {};
}

} // namespace

TEST(FetchedDraft, TellsTheHeadersAndFlagsOfTheEnvelope)
{
    const FolderDraft draft = draftFrom(
        "* 3 FETCH (UID 17 RFC822.SIZE 2048 FLAGS (\\Seen \\Draft $FerrymailSending) "
        "ENVELOPE (\"Tue, 1 Dec 2026 10:00:00 +0100\" "
        "\"=?UTF-8?Q?R=C3=A9sum=C3=A9?= of the {day}\" "
        "((\"Me\" NIL \"me\" \"example.org\")) NIL NIL "
        "((\"Ann\" NIL \"ann\" \"example.org\")(NIL NIL \"bob\" \"example.net\")) "
        "((NIL NIL \"team\" NIL)(NIL NIL \"carl\" \"example.com\")(NIL NIL NIL NIL)) "
        "((NIL NIL \"dora\" \"example.org\")) NIL \"<abc.123@ferrymail.test>\") "
        "BODYSTRUCTURE (\"TEXT\" \"PLAIN\" (\"CHARSET\" \"utf-8\") NIL NIL \"7BIT\" 5 1 NIL NIL "
        "NIL NIL))");
    EXPECT_EQ(draft.uid, 17u);
    EXPECT_EQ(draft.size, 2048u);
    EXPECT_EQ(draft.subject, QStringLiteral("Résumé of the {day}"));
    EXPECT_EQ(draft.messageId, QStringLiteral("abc.123@ferrymail.test"));
    // The group's name and end are no addresses.
    EXPECT_EQ(draft.recipients, QStringList({"ann@example.org", "bob@example.net",
                                             "carl@example.com", "dora@example.org"}));
    EXPECT_EQ(draft.flags, QList<QByteArray>({"\\Seen", "\\Draft", "$FerrymailSending"}));
    EXPECT_TRUE(draft.attachmentNames.isEmpty());

    // A subject sent as a literal, with a control character in it; none at all; no Message-ID.
    const FolderDraft bare =
        draftFrom("* 1 FETCH (UID 2 RFC822.SIZE 10 FLAGS () ENVELOPE (NIL {7}\r\nA\tb\x01 cd NIL "
                  "NIL NIL NIL NIL NIL NIL NIL) BODYSTRUCTURE (\"TEXT\" \"PLAIN\" NIL NIL NIL "
                  "\"7BIT\" 0 0))");
    EXPECT_EQ(bare.subject, QStringLiteral("A b  cd"));
    EXPECT_TRUE(bare.messageId.isEmpty());
    EXPECT_TRUE(bare.recipients.isEmpty());
}

TEST(FetchedDraft, NamesEachFileOfTheStructureInOrder)
{
    const QStringList names = namesIn(
        "((\"TEXT\" \"PLAIN\" (\"CHARSET\" \"utf-8\") NIL NIL \"7BIT\" 20 1 NIL NIL NIL NIL)"
        // An encoded word in a quoted filename, as many mail programs write it.
        "(\"APPLICATION\" \"PDF\" (\"NAME\" \"x.pdf\") NIL NIL \"BASE64\" 100 NIL "
        "(\"ATTACHMENT\" (\"FILENAME\" \"=?UTF-8?Q?caf=C3=A9_menu.pdf?=\")) NIL NIL)"
        // RFC 2231, merged by the server, and in continuations as sent.
        "(\"TEXT\" \"PLAIN\" NIL NIL NIL \"7BIT\" 3 1 NIL (\"attachment\" "
        "(\"filename*\" \"utf-8''%C3%A9t%C3%A9%20report.txt\")) NIL NIL)"
        "((\"IMAGE\" \"PNG\" NIL NIL NIL \"BASE64\" 10 NIL (\"inline\" (\"filename*0*\" "
        "\"utf-8''Une%20tr%C3%A8s\" \"filename*1\" \" longue \" \"filename*2*\" "
        "\"image%C2%A0n%C2%B01.png\")) NIL NIL)"
        // Only the type's name.
        "(\"APPLICATION\" \"OCTET-STREAM\" (\"name\" \"plain name.bin\") NIL NIL \"BASE64\" 4 "
        "NIL NIL NIL NIL) \"MIXED\")"
        // An attached message: its name, not its own parts' names.
        "(\"MESSAGE\" \"RFC822\" NIL NIL NIL \"7BIT\" 300 (NIL \"inner\" NIL NIL NIL NIL NIL NIL "
        "NIL NIL) ((\"TEXT\" \"PLAIN\" NIL NIL NIL \"7BIT\" 1 1 NIL (\"attachment\" "
        "(\"filename\" \"inner.txt\")) NIL NIL) \"MIXED\") 12 NIL (\"attachment\" (\"filename\" "
        "\"forwarded.eml\")) NIL NIL)"
        " \"MIXED\" (\"BOUNDARY\" \"b1\") NIL NIL NIL)");
    EXPECT_EQ(names,
              QStringList({QStringLiteral("café menu.pdf"), QStringLiteral("été report.txt"),
                           QStringLiteral("Une très longue image\u00a0n°1.png"),
                           QStringLiteral("plain name.bin"), QStringLiteral("forwarded.eml")}));
}

TEST(FetchedDraft, RefusesWhatNoFetchOfTheseItemsSends)
{
    EXPECT_NE(complaintAbout("* 1 FETCH (UID 4 FLAGS (\\Seen))").find("RFC822.SIZE"),
              std::string::npos);
    EXPECT_NE(complaintAbout("* 1 FETCH (UID x RFC822.SIZE 1 FLAGS () ENVELOPE () "
                             "BODYSTRUCTURE (\"TEXT\" \"PLAIN\"))")
                  .find("UID is no number"),
              std::string::npos);
    EXPECT_NE(complaintAbout("* 1 FETCH (UID 4 RFC822.SIZE)").find("without its value"),
              std::string::npos);
    EXPECT_NE(complaintAbout("* 1 FETCH UID 4").find("list of items"), std::string::npos);
    EXPECT_NE(complaintAbout("* 1 FETCH (UID 4 RFC822.SIZE 1 FLAGS () ENVELOPE () "
                             "BODYSTRUCTURE (() \"MIXED\"))")
                  .find("empty"),
              std::string::npos);
    EXPECT_EQ(complaintAbout("* 4 EXISTS"), "");

    // Wide rather than deep: the parts are counted.
    QByteArray wide;
    for (int i = 0; i < 10001; ++i)
        wide += "(\"TEXT\" \"PLAIN\" NIL NIL NIL \"7BIT\" 1 1)";
    try {
        namesIn('(' + wide + " \"MIXED\")");
        ADD_FAILURE() << "read a structure of 10001 parts";
    } catch (const ImapReadError &error) {
        EXPECT_NE(std::string(error.what()).find("10000 parts"), std::string::npos);
    }
}
