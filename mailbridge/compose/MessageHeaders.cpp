#include "mailbridge/compose/MessageHeaders.h"

#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/HeaderEncoding.h"

#include <algorithm>

namespace {

bool isPlainAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

GMimeHeader *headerOf(GMimeObject *object, const char *name)
{
    return g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
}

} // namespace

void setSubjectHeader(GMimeMessage *message, const QString &subject)
{
    g_mime_message_set_subject(message, subject.toUtf8().constData(), "utf-8");
    if (looksLikeEncodedWord(subject))
        g_mime_header_set_raw_value(headerOf(GMIME_OBJECT(message), "Subject"),
                                    foldedWords(encodedWords(subject)).constData());
}

void setAddressHeader(GMimeMessage *message, GMimeAddressType type, const QString &text)
{
    const auto addresses = parseAddressText(text);
    // The message's own list, borrowed; appending copies references into it.
    internet_address_list_append(g_mime_message_get_addresses(message, type), addresses.get());
}

void setFileName(GMimePart *part, const QString &fileName)
{
    GMimeObject *object = GMIME_OBJECT(part);
    g_mime_part_set_filename(part, fileName.toUtf8().constData());
    if (isPlainAscii(fileName) && !looksLikeEncodedWord(fileName))
        return;
    const GCharPtr type(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
    const QByteArray contentType =
        ' ' + QByteArray(type.get()) + ";\n\t" + extendedParameter("name", fileName) + '\n';
    const QByteArray disposition = ' ' + QByteArray(g_mime_object_get_disposition(object)) +
                                   ";\n\t" + extendedParameter("filename", fileName) + '\n';
    g_mime_header_set_raw_value(headerOf(object, "Content-Type"), contentType.constData());
    g_mime_header_set_raw_value(headerOf(object, "Content-Disposition"), disposition.constData());
}
