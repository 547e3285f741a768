// The reader of server responses, fed as a server might send: whole, split anywhere, or
// past every bound.
#include "mailbridge/imap/ImapReader.h"

#include "support/TestTools.h"

#include <string>

namespace {

QList<ImapResponse> readAll(ImapReader &reader, const QByteArray &bytes, qsizetype piece)
{
    QList<ImapResponse> responses;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const QByteArray part = bytes.mid(at, piece);
        reader.feed(part.constData(), std::size_t(part.size()));
        while (auto response = reader.next())
            responses.push_back(std::move(*response));
    }
    return responses;
}

// What reading bytes ends with: empty when it read them all, else the reader's complaint.
std::string complaintAbout(const QByteArray &bytes, ImapReadLimits limits = {})
{
    ImapReader reader(limits);
    try {
        readAll(reader, bytes, 4096);
    } catch (const ImapReadError &error) {
        return error.what();
    }
    return {};
}

TEST(ImapReader, ReadsTheSameWhereverTheBytesAreSplit)
{
    const QByteArray stream = "* OK [CAPABILITY IMAP4rev1 LITERAL+] ready\r\n"
                              "* LIST (\\HasNoChildren \\Drafts) \"/\" {9}\r\nMy \"Dr\"\r\n\r\n"
                              "* 7 EXISTS\r\n"
                              "+ go ahead\r\n"
                              "+\r\n"
                              "* STATUS \"a \\\"b\\\"\" (MESSAGES 2 (x (y)))\r\n"
                              "F0001 NO the quota [OVERQUOTA] {5}\r\n"
                              "* BYE [UNAVAILABLE] going down\r\n";
    for (const qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(7), stream.size()}) {
        SCOPED_TRACE(piece);
        ImapReader reader;
        const QList<ImapResponse> responses = readAll(reader, stream, piece);
        ASSERT_EQ(responses.size(), 8);
        EXPECT_EQ(responses[0].status, "OK");
        EXPECT_EQ(responses[0].codeName(), "CAPABILITY");
        EXPECT_EQ(responses[0].text, "ready");

        const ImapResponse &list = responses[1];
        EXPECT_EQ(list.dataName(), "LIST");
        ASSERT_EQ(list.data.size(), 4);
        EXPECT_EQ(list.data[1].items.size(), 2);
        EXPECT_TRUE(list.data[3].literal);
        EXPECT_EQ(list.data[3].text, "My \"Dr\"\r\n") << "a literal is taken as it came";

        EXPECT_EQ(responses[2].dataName(), "EXISTS");
        EXPECT_EQ(responses[3].kind, ImapResponse::Continuation);
        EXPECT_EQ(responses[3].text, "go ahead");
        EXPECT_EQ(responses[4].kind, ImapResponse::Continuation);
        EXPECT_EQ(responses[5].data[1].text, "a \"b\"");
        EXPECT_EQ(responses[5].data[2].items[2].items[1].items[0].text, "y");

        // A status response's text is text: neither its brackets nor a "{5}" in it count.
        EXPECT_EQ(responses[6].tag, "F0001");
        EXPECT_EQ(responses[6].codeName(), "");
        EXPECT_EQ(responses[6].statusLine(), "NO the quota [OVERQUOTA] {5}");
        EXPECT_EQ(responses[7].status, "BYE");
        EXPECT_EQ(responses[7].codeName(), "UNAVAILABLE");
        EXPECT_EQ(reader.pending(), 0u);
    }
}

TEST(ImapReader, EachBoundEndsTheReadingWithoutHarm)
{
    ImapReadLimits small;
    small.lineBytes = 100;
    small.literalBytes = 50;
    small.responseBytes = 300;
    const struct
    {
        const char *name;
        QByteArray bytes;
        ImapReadLimits limits;
        std::string complaint; // empty: read whole
    } rows[] = {
        {"sixty thousand parentheses",
         "* LIST " + QByteArray(60000, '(') + "\r\n",
         {},
         "lists nested deeper than 16"},
        {"sixteen levels are taken",
         "* X " + QByteArray(16, '(') + "a" + QByteArray(16, ')') + "\r\n",
         {},
         ""},
        {"seventeen are not",
         "* X " + QByteArray(17, '(') + QByteArray(17, ')') + "\r\n",
         {},
         "lists nested deeper than 16"},
        {"a list never closed", "* X (a (b)\r\n", {}, "a list that is never closed"},
        {"a stray close", "* X a)\r\n", {}, "a ')' that closes no list"},
        {"an endless line",
         "* X " + QByteArray(2 << 20, 'a'),
         {},
         "a line longer than 1048576 bytes"},
        {"an endless text",
         "* OK " + QByteArray(2 << 20, 'a'),
         {},
         "a line longer than 1048576 bytes"},
        {"a line at its bound", "* X " + QByteArray(90, 'a') + "\r\n", small, ""},
        {"a line past it", "* X " + QByteArray(101, 'a') + "\r\n", small,
         "a line longer than 100 bytes"},
        {"a literal past its bound", "* X {51}\r\n" + QByteArray(51, 'a') + "\r\n", small,
         "a literal of more than 50 bytes"},
        {"a literal of a huge size",
         "* X {99999999999999999999999}\r\n",
         {},
         "a literal of more than 1048576 bytes"},
        {"a literal at its bound", "* X {50}\r\n" + QByteArray(50, 'a') + "\r\n", small, ""},
        {"literals past the response's bound",
         "* X" + QByteArray(" {40}\r\n" + QByteArray(40, 'a')).repeated(8) + "\r\n", small,
         "an answer of more than 300 bytes"},
        {"a size that is no number",
         "* X {4x}\r\nabcd\r\n",
         {},
         "a literal whose size is not a number"},
        {"a size with endless signs",
         "* X {4" + QByteArray(2 << 20, '+'),
         {},
         "a literal whose size is not a number"},
        {"a size with its sign", "* X {4+}\r\nabcd\r\n", {}, ""},
        {"a line break in a quote",
         "* X \"ab\r\ncd\"\r\n",
         {},
         "a line break inside a quoted string"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(complaintAbout(row.bytes, row.limits), row.complaint);
    }
}

TEST(ImapReader, AFloodIsReadOneResponseAtATime)
{
    // What a reader holds does not grow with what went through it.
    ImapReader reader;
    const QByteArray line = "* 1 EXISTS\r\n";
    const QByteArray block = line.repeated(10000);
    int read = 0;
    for (int round = 0; round < 100; ++round) {
        reader.feed(block.constData(), std::size_t(block.size()));
        while (reader.next())
            ++read;
        EXPECT_EQ(reader.pending(), 0u);
    }
    EXPECT_EQ(read, 1000000);
}

} // namespace
