#include "mailbridge/compose/PreencodedPart.h"

#include <cstring>
#include <memory>
#include <new>

struct FerrymailPreencodedPart
{
    GMimePart parent;
};

struct FerrymailPreencodedPartClass
{
    GMimePartClass parent;
};

G_DEFINE_TYPE(FerrymailPreencodedPart, ferrymail_preencoded_part, GMIME_TYPE_PART)

namespace {

constexpr std::size_t copyBytes = 256 * 1024;

bool writeAll(GMimeStream *stream, const char *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = g_mime_stream_write(stream, data, length);
        if (n < 0)
            return false;
        data += n;
        length -= std::size_t(n);
    }
    return true;
}

// The content stream as it is, from its start.
ssize_t copyContent(GMimeStream *content, GMimeStream *stream)
{
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[copyBytes]);
    if (!buffer || g_mime_stream_reset(content) != 0)
        return -1;
    ssize_t total = 0;
    while (!g_mime_stream_eos(content)) {
        const ssize_t n = g_mime_stream_read(content, buffer.get(), copyBytes);
        if (n < 0 || !writeAll(stream, buffer.get(), std::size_t(n)))
            return -1;
        total += n;
    }
    g_mime_stream_reset(content);
    return total;
}

ssize_t writeToStream(GMimeObject *object, GMimeFormatOptions *options, gboolean contentOnly,
                      GMimeStream *stream)
{
    GMimePart *part = GMIME_PART(object);
    const bool asItIs = part->content &&
                        part->encoding == g_mime_data_wrapper_get_encoding(part->content) &&
                        std::strcmp(g_mime_format_options_get_newline(options), "\n") == 0;
    if (!asItIs)
        return GMIME_OBJECT_CLASS(ferrymail_preencoded_part_parent_class)
            ->write_to_stream(object, options, contentOnly, stream);

    ssize_t total = 0;
    if (!contentOnly) {
        const ssize_t headers =
            g_mime_header_list_write_to_stream(object->headers, options, stream);
        if (headers < 0 || g_mime_stream_write_string(stream, "\n") < 0)
            return -1;
        total += headers + 1;
    }
    const ssize_t content = copyContent(g_mime_data_wrapper_get_stream(part->content), stream);
    return content < 0 ? -1 : total + content;
}

} // namespace

static void ferrymail_preencoded_part_init(FerrymailPreencodedPart *) {}

static void ferrymail_preencoded_part_class_init(FerrymailPreencodedPartClass *klass)
{
    GMIME_OBJECT_CLASS(klass)->write_to_stream = writeToStream;
}

GObjectPtr<GMimePart> newPreencodedPart(const char *type, const char *subtype)
{
    // g_object_new returns the only reference, which the pointer takes over.
    auto part = adoptGObject(
        static_cast<GMimePart *>(g_object_new(ferrymail_preencoded_part_get_type(), nullptr)));
    auto contentType = adoptGObject(g_mime_content_type_new(type, subtype));
    g_mime_object_set_content_type(GMIME_OBJECT(part.get()), contentType.get()); // takes a ref
    return part;
}
