#include "mailbridge/compose/Base64Lines.h"

#include "support/TestTools.h"

#include <QList>

namespace {

QByteArray encode(const QByteArray &input)
{
    QByteArray output(qsizetype(base64LinesSize(std::uint64_t(input.size()))) + 1, '#');
    const std::size_t written =
        encodeBase64Lines(reinterpret_cast<const unsigned char *>(input.constData()),
                          std::size_t(input.size()), output.data());
    EXPECT_EQ(written, base64LinesSize(std::uint64_t(input.size())));
    EXPECT_EQ(output.back(), '#') << "wrote past the size it announced";
    output.chop(1);
    return output;
}

// The same text as QByteArray::toBase64, cut into lines of 76 each ended by "\n".
QByteArray reference(const QByteArray &input)
{
    const QByteArray plain = input.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < plain.size(); at += 76)
        lines += plain.mid(at, 76) + '\n';
    return lines;
}

TEST(Base64Lines, EncodesTheRfc4648Vectors)
{
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==\n");
    EXPECT_EQ(encode("fo"), "Zm8=\n");
    EXPECT_EQ(encode("foo"), "Zm9v\n");
    EXPECT_EQ(encode("foob"), "Zm9vYg==\n");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE=\n");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy\n");
}

TEST(Base64Lines, WrapsAt76CharactersAndEndsEveryLine)
{
    EXPECT_EQ(encode(QByteArray(57, 'a')).size(), 77);
    EXPECT_EQ(encode(QByteArray(58, 'a')), reference(QByteArray(58, 'a')));
    const QByteArray encoded = encode(randomBytes(57 * 3 + 1, 7));
    const QList<QByteArray> lines = encoded.split('\n');
    ASSERT_EQ(lines.size(), 5); // three full lines, one short, and nothing after the last "\n"
    EXPECT_EQ(lines[0].size(), 76);
    EXPECT_EQ(lines[2].size(), 76);
    EXPECT_TRUE(lines[3].size() == 4 && lines[3].endsWith("==")) << "one byte left";
    EXPECT_TRUE(lines[4].isEmpty());
}

TEST(Base64Lines, MatchesQtForEveryLengthUpTo200AndOnLargeData)
{
    for (int length = 0; length <= 200; ++length) {
        const QByteArray input = randomBytes(length, quint32(length));
        ASSERT_EQ(encode(input), reference(input)) << "length " << length;
    }
    const QByteArray input = randomBytes(3 * 1024 * 1024 + 17, 42);
    EXPECT_EQ(encode(input), reference(input));
}

TEST(Base64Lines, VectorAndPortableEncodingsAgreeAtEveryLengthAndAlignment)
{
    const QByteArray input = randomBytes(57 * 40 + 64, 11);
    for (int offset = 0; offset < 33; ++offset) {
        for (int length = 0; length <= 57 * 40; length += length < 300 ? 1 : 37) {
            const auto *in = reinterpret_cast<const unsigned char *>(input.constData()) + offset;
            const qsizetype size = qsizetype(base64LinesSize(std::uint64_t(length)));
            QByteArray fast(size + 1, '#');
            QByteArray portable(size + 1, '#');
            ASSERT_EQ(encodeBase64Lines(in, std::size_t(length), fast.data()), std::size_t(size));
            encodeBase64LinesPortably(in, std::size_t(length), portable.data());
            ASSERT_EQ(fast, portable) << "offset " << offset << ", length " << length;
        }
    }
}

TEST(Base64Lines, PiecesOfWholeLinesJoinIntoTheWhole)
{
    const QByteArray input = randomBytes(57 * 10 + 5, 3);
    EXPECT_EQ(encode(input.left(57 * 4)) + encode(input.mid(57 * 4)), encode(input));
}

TEST(Base64Lines, AnnouncesTheSizeWithoutEncoding)
{
    EXPECT_EQ(base64LinesSize(0), 0u);
    EXPECT_EQ(base64LinesSize(1), 5u);
    EXPECT_EQ(base64LinesSize(57), 77u);
    EXPECT_EQ(base64LinesSize(58), 82u);
    // Beyond what fits in 32 bits, as large attachments need.
    EXPECT_EQ(base64LinesSize(57ull * 100'000'000), 77ull * 100'000'000);
}

} // namespace
