#include "ParsedMessage.h"

#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/GObjectPtr.h"

#include <QFile>
#include <QRegularExpression>

#include <stdexcept>

namespace {

QByteArray decodedContent(GMimePart *part)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part); // borrowed
    if (!content)
        return QByteArray();
    auto memory = adoptGObject(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, memory.get());
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    return QByteArray(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
}

QString typeOf(GMimeObject *object)
{
    GMimeContentType *type = g_mime_object_get_content_type(object); // borrowed
    return QStringLiteral("%1/%2").arg(
        QString::fromUtf8(g_mime_content_type_get_media_type(type)),
        QString::fromUtf8(g_mime_content_type_get_media_subtype(type)));
}

// Decodes each RFC 2047 word on its own and drops the blanks between adjacent ones. GMime
// 3.2's own decoder joins the payloads of adjacent base64 words and stops at the first
// padding, cutting long non-ASCII subjects short although they are written correctly.
QString decodeWords(const char *rawValue)
{
    static const QRegularExpression word(QStringLiteral("=\\?[^?\\s]+\\?[bBqQ]\\?[^?\\s]*\\?="));
    const GCharPtr unfolded(g_mime_utils_header_unfold(rawValue));
    const QString text = QString::fromUtf8(unfolded.get()).trimmed();
    QString decoded;
    qsizetype at = 0;
    bool afterWord = false;
    for (auto match = word.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch next = match.next();
        const QString gap = text.mid(at, next.capturedStart() - at);
        if (!(afterWord && gap.trimmed().isEmpty()))
            decoded += gap;
        const GCharPtr part(
            g_mime_utils_header_decode_text(nullptr, next.captured().toUtf8().constData()));
        decoded += QString::fromUtf8(part.get());
        at = next.capturedEnd();
        afterWord = true;
    }
    return decoded + text.mid(at);
}

} // namespace

ParsedMessage parseMessageFile(const QString &path)
{
    initGMime();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot open " + path.toStdString());
    ParsedMessage parsed;
    parsed.raw = file.readAll();

    auto stream = adoptGObject(
        g_mime_stream_mem_new_with_buffer(parsed.raw.constData(), std::size_t(parsed.raw.size())));
    auto parser = adoptGObject(g_mime_parser_new_with_stream(stream.get()));
    auto message = adoptGObject(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message)
        throw std::runtime_error("not a message: " + path.toStdString());

    GMimeHeader *subject = g_mime_header_list_get_header(
        g_mime_object_get_header_list(GMIME_OBJECT(message.get())), "Subject"); // borrowed
    if (subject)
        parsed.subject = decodeWords(g_mime_header_get_raw_value(subject));
    parsed.to = addressTexts(g_mime_message_get_to(message.get()));
    parsed.from = addressTexts(g_mime_message_get_from(message.get()));
    parsed.messageId = QString::fromUtf8(g_mime_message_get_message_id(message.get()));
    parsed.hasDate = g_mime_message_get_date(message.get()) != nullptr;
    parsed.mimeVersion =
        QString::fromUtf8(g_mime_object_get_header(GMIME_OBJECT(message.get()), "MIME-Version"));

    GMimeObject *body = g_mime_message_get_mime_part(message.get()); // borrowed
    if (!body)
        throw std::runtime_error("no body: " + path.toStdString());
    parsed.bodyType = typeOf(body);
    if (GMIME_IS_MULTIPART(body)) {
        static const QRegularExpression checksumPartName(
            QStringLiteral("^checksums-\\d+-of-\\d+\\.sha256$"));
        GMimeMultipart *multipart = GMIME_MULTIPART(body);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            GMimeObject *object = g_mime_multipart_get_part(multipart, i); // borrowed
            if (!GMIME_IS_PART(object))
                throw std::runtime_error("nested multipart in " + path.toStdString());
            GMimePart *part = GMIME_PART(object);
            ParsedAttachment attachment;
            attachment.fileName = QString::fromUtf8(g_mime_part_get_filename(part));
            attachment.contentType = typeOf(object);
            attachment.disposition = QString::fromUtf8(g_mime_object_get_disposition(object));
            attachment.transferEncoding = QString::fromUtf8(
                g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(part)));
            attachment.bytes = decodedContent(part);
            // A batch's text parts frame the files: the inline text first, the checksums
            // last; neither is one of the files.
            const bool text = attachment.contentType == QLatin1String("text/plain");
            if (text && i == 0 && attachment.fileName.isEmpty() &&
                attachment.disposition == QLatin1String("inline"))
                parsed.bodyText = QString::fromUtf8(attachment.bytes);
            else if (text && i == g_mime_multipart_get_count(multipart) - 1 &&
                     checksumPartName.match(attachment.fileName).hasMatch())
                parsed.checksums = attachment.bytes;
            else
                parsed.attachments.push_back(attachment);
        }
    } else if (GMIME_IS_PART(body)) {
        parsed.bodyText = QString::fromUtf8(decodedContent(GMIME_PART(body)));
    }
    return parsed;
}

QList<QByteArray> headerLines(const QByteArray &raw)
{
    const qsizetype end = raw.indexOf("\n\n");
    return raw.left(end < 0 ? raw.size() : end).split('\n');
}

QStringList addressTexts(InternetAddressList *list)
{
    QStringList texts;
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        const GCharPtr text(
            internet_address_to_string(internet_address_list_get_address(list, i), nullptr, FALSE));
        texts << QString::fromUtf8(text.get());
    }
    return texts;
}
