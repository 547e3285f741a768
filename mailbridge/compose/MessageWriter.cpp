#include "mailbridge/compose/MessageWriter.h"

#include "common/Failure.h"
#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/Base64FileStream.h"
#include "mailbridge/compose/ControlCharacters.h"
#include "mailbridge/compose/FileOutputStream.h"
#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/GObjectPtr.h"
#include "mailbridge/compose/PreencodedPart.h"

#include <QSysInfo>

#include <memory>
#include <vector>

namespace {

using DateTimePtr = std::unique_ptr<GDateTime, decltype(&g_date_time_unref)>;

void setAddresses(GMimeMessage *message, GMimeAddressType type, const QString &text)
{
    const auto addresses = parseAddressText(text);
    // The message's own list, borrowed; appending copies references into it.
    internet_address_list_append(g_mime_message_get_addresses(message, type), addresses.get());
}

QString hostName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

// GMime encodes a parameter (RFC 2231) only for non-ASCII text and would quote a line
// break as it is, starting a header line of the file name's own. Such a name goes as an
// RFC 2047 encoded word, made by GMime, which GMime's parser and mail clients decode.
QByteArray parameterText(const QString &fileName)
{
    const QByteArray utf8 = fileName.toUtf8();
    if (!hasControlCharacter(fileName))
        return utf8;
    const GCharPtr encoded(g_mime_utils_header_encode_text(nullptr, utf8.constData(), "utf-8"));
    return QByteArray(encoded.get());
}

GObjectPtr<GMimeObject> attachmentPart(const Attachment &attachment, GMimeStream *encoded)
{
    const QByteArray type = attachment.mimeType.section(QLatin1Char('/'), 0, 0).toUtf8();
    const QByteArray subtype = attachment.mimeType.section(QLatin1Char('/'), 1).toUtf8();
    auto part = newPreencodedPart(type.constData(), subtype.constData());
    g_mime_object_set_disposition(GMIME_OBJECT(part.get()), GMIME_DISPOSITION_ATTACHMENT);
    // Sets both Content-Type name= and Content-Disposition filename=.
    g_mime_part_set_filename(part.get(), parameterText(attachment.fileName).constData());
    // The stream already yields base64 and the wrapper says so: with the part's encoding the
    // same, the text is copied instead of encoded again.
    g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
    auto content =
        adoptGObject(g_mime_data_wrapper_new_with_stream(encoded, GMIME_CONTENT_ENCODING_BASE64));
    g_mime_part_set_content(part.get(), content.get()); // the part takes its own reference
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}

GObjectPtr<GMimeObject> emptyBody()
{
    auto text = adoptGObject(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(text.get(), "");
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(text.release()));
}

} // namespace

void writeMessage(const MessageContent &content, int fd, const QString &path)
{
    initGMime();
    // Every object made here is held by a GObjectPtr; the containers GMime builds (message,
    // multipart, part) take references of their own to what is put into them.
    auto message = adoptGObject(g_mime_message_new(TRUE));
    setAddresses(message.get(), GMIME_ADDRESS_TYPE_FROM, content.from);
    setAddresses(message.get(), GMIME_ADDRESS_TYPE_TO, content.to);
    g_mime_message_set_subject(message.get(), content.subject.toUtf8().constData(), "utf-8");
    const DateTimePtr now(g_date_time_new_now_local(), &g_date_time_unref);
    g_mime_message_set_date(message.get(), now.get());
    const GCharPtr messageId(g_mime_utils_generate_message_id(hostName().toUtf8().constData()));
    g_mime_message_set_message_id(message.get(), messageId.get());

    // Kept to ask for read errors afterwards; the parts hold references of their own.
    std::vector<GObjectPtr<GMimeStream>> attachmentStreams;
    if (content.attachments.empty()) {
        g_mime_message_set_mime_part(message.get(), emptyBody().get());
    } else {
        auto mixed = adoptGObject(g_mime_multipart_new_with_subtype("mixed"));
        for (const Attachment &attachment : content.attachments) {
            attachmentStreams.push_back(openBase64FileStream(attachment.path));
            const auto part = attachmentPart(attachment, attachmentStreams.back().get());
            g_mime_multipart_add(mixed.get(), part.get());
        }
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    }

    const auto output = openFileOutputStream(fd, path);
    const ssize_t written =
        g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, output.get());
    // A read error is the cause of anything that follows it, so it is reported first.
    for (const auto &stream : attachmentStreams)
        if (const QString error = base64FileStreamError(stream.get()); !error.isEmpty())
            throw Failure(error);
    if (written < 0) {
        const QString error = fileOutputStreamError(output.get());
        throw Failure(error.isEmpty() ? QStringLiteral("Cannot write %1").arg(path) : error);
    }
    finishFileOutputStream(output.get());
}
