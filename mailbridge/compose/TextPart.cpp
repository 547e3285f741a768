#include "mailbridge/compose/TextPart.h"

#include "mailbridge/compose/MessageHeaders.h"

namespace {

constexpr qsizetype longestPlainLine = 76;

bool isPlainText(const QByteArray &text)
{
    qsizetype lineLength = 0;
    for (const char c : text) {
        if (c == '\n') {
            lineLength = 0;
            continue;
        }
        if ((c < 0x20 && c != '\t') || c > 0x7e || ++lineLength > longestPlainLine)
            return false;
    }
    return true;
}

} // namespace

GObjectPtr<GMimeObject> newTextPart(GMimeStream *content, const QByteArray &sample,
                                    const QString &fileName)
{
    auto part = adoptGObject(g_mime_part_new_with_type("text", "plain"));
    GMimeObject *object = GMIME_OBJECT(part.get());
    g_mime_object_set_content_type_parameter(object, "charset", "utf-8");
    g_mime_part_set_content_encoding(part.get(), isPlainText(sample)
                                                     ? GMIME_CONTENT_ENCODING_7BIT
                                                     : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    auto wrapper =
        adoptGObject(g_mime_data_wrapper_new_with_stream(content, GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part.get(), wrapper.get()); // the part takes its own reference
    if (fileName.isEmpty()) {
        g_mime_object_set_disposition(object, GMIME_DISPOSITION_INLINE);
    } else {
        g_mime_object_set_disposition(object, GMIME_DISPOSITION_ATTACHMENT);
        setFileName(part.get(), fileName);
    }
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}
