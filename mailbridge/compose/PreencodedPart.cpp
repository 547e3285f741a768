#include "mailbridge/compose/PreencodedPart.h"

#include "mailbridge/compose/FileOutputStream.h"
#include "mailbridge/compose/GObjectSubclass.h"

#include <cstring>
#include <memory>
#include <new>

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
    if (g_mime_stream_reset(content) != 0)
        return -1;
    ssize_t total = 0;
    if (const std::optional<ssize_t> direct = copyIntoFileOutputStream(stream, content)) {
        total = *direct;
    } else {
        const std::unique_ptr<char[]> buffer(new (std::nothrow) char[copyBytes]);
        if (!buffer)
            return -1;
        while (total >= 0 && !g_mime_stream_eos(content)) {
            const ssize_t n = g_mime_stream_read(content, buffer.get(), copyBytes);
            if (n < 0 || !writeAll(stream, buffer.get(), std::size_t(n)))
                return -1;
            if (n == 0)
                break;
            total += n;
        }
    }
    if (total >= 0)
        g_mime_stream_reset(content);
    return total;
}

ssize_t writeToStream(GMimeObject *object, GMimeFormatOptions *options, gboolean contentOnly,
                      GMimeStream *stream);

// The part has nothing of its own beyond GMime's; the type exists for its write method.
struct PreencodedPartState
{
};

struct PreencodedPartTraits
{
    using Parent = GMimePart;
    using ParentClass = GMimePartClass;
    using State = PreencodedPartState;
    static GType parentType() { return GMIME_TYPE_PART; }
    static const char *typeName() { return "FerrymailPreencodedPart"; }
    static void initClass(GMimePartClass *klass)
    {
        reinterpret_cast<GMimeObjectClass *>(klass)->write_to_stream = writeToStream;
    }
};

using PreencodedPartType = GObjectSubclass<PreencodedPartTraits>;

ssize_t writeToStream(GMimeObject *object, GMimeFormatOptions *options, gboolean contentOnly,
                      GMimeStream *stream)
{
    if (!PreencodedPartType::stateOf(object))
        return -1;
    GMimePart *part = reinterpret_cast<GMimePart *>(object); // checked just above
    const bool asItIs = part->content &&
                        part->encoding == g_mime_data_wrapper_get_encoding(part->content) &&
                        std::strcmp(g_mime_format_options_get_newline(options), "\n") == 0;
    if (!asItIs)
        return reinterpret_cast<GMimeObjectClass *>(PreencodedPartType::parentClass())
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

GObjectPtr<GMimePart> newPreencodedPart(const char *type, const char *subtype)
{
    auto part = PreencodedPartType::create();
    auto contentType = adoptGObject(g_mime_content_type_new(type, subtype));
    g_mime_object_set_content_type(reinterpret_cast<GMimeObject *>(part.get()),
                                   contentType.get()); // takes a reference
    return part;
}
