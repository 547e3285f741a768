#include "mailbridge/compose/PreencodedPart.h"

#include "mailbridge/compose/GMimeLibrary.h"
#include "support/TestTools.h"

namespace {

class PreencodedPartTest : public testing::Test
{
protected:
    void SetUp() override
    {
        initGMime();
        part = newPreencodedPart("application", "octet-stream");
        g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
        auto stream = adoptGObject(
            g_mime_stream_mem_new_with_buffer(encoded.constData(), std::size_t(encoded.size())));
        auto content = adoptGObject(
            g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_BASE64));
        g_mime_part_set_content(part.get(), content.get());
    }

    // What the part writes; reported is what the write call returned.
    QByteArray written(GMimeFormatOptions *options, ssize_t *reported = nullptr)
    {
        auto memory = adoptGObject(g_mime_stream_mem_new());
        const ssize_t n =
            g_mime_object_write_to_stream(GMIME_OBJECT(part.get()), options, memory.get());
        if (reported)
            *reported = n;
        GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
        return QByteArray(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    }

    const QByteArray encoded = QByteArray("QUJD\n").repeated(20000);
    GObjectPtr<GMimePart> part;
};

TEST_F(PreencodedPartTest, CopiesTheContentAfterGMimesHeaders)
{
    ssize_t reported = 0;
    const QByteArray text = written(nullptr, &reported);
    EXPECT_EQ(reported, text.size());
    EXPECT_TRUE(text.startsWith("Content-Type: application/octet-stream\n"));
    EXPECT_TRUE(text.contains("\nContent-Transfer-Encoding: base64\n\n"));
    EXPECT_TRUE(text.endsWith("\n\n" + encoded));
    EXPECT_EQ(written(nullptr), text) << "a second write gives the same";
}

TEST_F(PreencodedPartTest, LeavesOtherNewlineFormatsToGMime)
{
    GMimeFormatOptions *options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    const QByteArray text = written(options);
    g_mime_format_options_free(options);
    EXPECT_TRUE(text.endsWith("\r\n\r\n" + QByteArray("QUJD\r\n").repeated(20000)));
}

} // namespace
