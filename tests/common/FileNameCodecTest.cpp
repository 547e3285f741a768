#include "common/FileNameCodec.h"

#include <gtest/gtest.h>

namespace {

TEST(FileNameCodec, EveryByteSequenceComesBackExactly)
{
    const std::pair<const char *, QByteArray> names[] = {
        {"ascii", "report.pdf"},
        {"utf-8", "r\xc3\xa9sum\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\x8e.pdf"},
        {"latin-1 bytes", "b\xff\xfe.bin"},
        {"truncated sequence", "a\xe6\x97"},
        {"overlong slash", "\xc0\xaf"},
        {"encoded surrogate", "\xed\xa0\x80"},
        {"above U+10FFFF", "\xf4\x90\x80\x80"},
        {"escape-like after a real pair", "\xf0\x9f\x93\x8e\x80"},
    };
    for (const auto &[label, bytes] : names) {
        SCOPED_TRACE(label);
        EXPECT_EQ(encodeFileName(decodeFileName(bytes)), bytes);
    }
    // Every single byte and every pair of bytes.
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes{char(a), char(b)};
            ASSERT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << a << " " << b;
        }
}

TEST(FileNameCodec, ShownNamesReplaceOnlyTheForeignBytes)
{
    EXPECT_EQ(displayFileName(decodeFileName("b\xff\xfe.bin")), QString::fromUtf8("b\uFFFD\uFFFD.bin"));
    const QByteArray valid = "r\xc3\xa9sum\xc3\xa9 \xf0\x9f\x93\x8e.pdf";
    EXPECT_EQ(displayFileName(decodeFileName(valid)), QString::fromUtf8(valid));
    EXPECT_EQ(decodeFileName(valid).toUtf8(), valid);
}

} // namespace
