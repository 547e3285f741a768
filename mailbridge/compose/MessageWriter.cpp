#include "mailbridge/compose/MessageWriter.h"

#include "common/Failure.h"
#include "mailbridge/compose/Base64FileStream.h"
#include "mailbridge/compose/Base64Lines.h"
#include "mailbridge/compose/CallbackOutputStream.h"
#include "mailbridge/compose/FileOutputStream.h"
#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/GObjectPtr.h"
#include "mailbridge/compose/HashingThread.h"
#include "mailbridge/compose/HeaderChecks.h"
#include "mailbridge/compose/LateTextStream.h"
#include "mailbridge/compose/ManifestText.h"
#include "mailbridge/compose/MessageHeaders.h"
#include "mailbridge/compose/PreencodedPart.h"
#include "mailbridge/compose/RegularFile.h"
#include "mailbridge/compose/Sha256.h"
#include "mailbridge/compose/TextPart.h"

#include <functional>
#include <memory>
#include <vector>

namespace {

using DateTimePtr = std::unique_ptr<GDateTime, decltype(&g_date_time_unref)>;
using TimeZonePtr = std::unique_ptr<GTimeZone, decltype(&g_time_zone_unref)>;

// The same refusals the Send makes up front, so that no message is ever written cut short
// or with a header line a reader may reject.
void checkTexts(const MessageContent &content)
{
    for (const auto &problem : {addressTextProblem(content.from), addressTextProblem(content.to),
                                headerTextProblem(content.subject)})
        if (problem)
            throw Failure(*problem);
}

void setStamp(GMimeMessage *message, const MessageStamp &stamp)
{
    const TimeZonePtr zone(g_time_zone_new_offset(stamp.date.offsetFromUtc()), &g_time_zone_unref);
    const DateTimePtr utc(g_date_time_new_from_unix_utc(stamp.date.toSecsSinceEpoch()),
                          &g_date_time_unref);
    const DateTimePtr local(g_date_time_to_timezone(utc.get(), zone.get()), &g_date_time_unref);
    g_mime_message_set_date(message, local.get());
    g_mime_message_set_message_id(message, stamp.messageId.toUtf8().constData());
}

GObjectPtr<GMimeObject> attachmentPart(const Attachment &attachment, GMimeStream *encoded)
{
    const QByteArray type = attachment.mimeType.section(QLatin1Char('/'), 0, 0).toUtf8();
    const QByteArray subtype = attachment.mimeType.section(QLatin1Char('/'), 1).toUtf8();
    auto part = newPreencodedPart(type.constData(), subtype.constData());
    g_mime_object_set_disposition(GMIME_OBJECT(part.get()), GMIME_DISPOSITION_ATTACHMENT);
    // The stream already yields base64 and the wrapper says so: with the part's encoding the
    // same, the text is copied instead of encoded again.
    g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
    auto content =
        adoptGObject(g_mime_data_wrapper_new_with_stream(encoded, GMIME_CONTENT_ENCODING_BASE64));
    g_mime_part_set_content(part.get(), content.get()); // the part takes its own reference
    setFileName(part.get(), attachment.fileName);       // last: it may set raw headers
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}

GObjectPtr<GMimeObject> emptyBody()
{
    auto text = adoptGObject(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(text.get(), "");
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(text.release()));
}

// Where the contents of a message's parts come from while it is composed.
struct PartContents
{
    // The encoded file.
    std::function<GObjectPtr<GMimeStream>(const Attachment &)> attachment;
    // The list of the files' checksums, given a stand-in of the same length and shape.
    std::function<GObjectPtr<GMimeStream>(const QByteArray &standIn)> checksums;
};

GObjectPtr<GMimeStream> memoryStream(const QByteArray &bytes)
{
    auto stream = adoptGObject(g_mime_stream_mem_new());
    g_mime_stream_write(stream.get(), bytes.constData(), std::size_t(bytes.size()));
    g_mime_stream_reset(stream.get());
    return stream;
}

// The checksum lines of the content's files, with every digest the same stand-in: as long as
// the real lines, since a digest's hex digits are always 64 and never need encoding.
QByteArray checksumStandIn(const MessageContent &content)
{
    const QByteArray zeros(64, '0');
    QByteArray lines;
    for (const Attachment &attachment : content.attachments)
        lines += checksumLine(zeros, attachment.fileName);
    return lines;
}

// The whole message, each part's content coming from contents.
GObjectPtr<GMimeMessage> composeMessage(const MessageContent &content, const PartContents &contents)
{
    initGMime();
    checkTexts(content);
    // Every object made here is held by a GObjectPtr; the containers GMime builds (message,
    // multipart, part) take references of their own to what is put into them.
    auto message = adoptGObject(g_mime_message_new(TRUE));
    setAddressHeader(message.get(), GMIME_ADDRESS_TYPE_FROM, content.from);
    setAddressHeader(message.get(), GMIME_ADDRESS_TYPE_TO, content.to);
    setSubjectHeader(message.get(), content.subject);
    setStamp(message.get(), content.stamp);
    if (content.attachments.empty()) {
        g_mime_message_set_mime_part(message.get(), emptyBody().get());
        return message;
    }
    auto mixed = adoptGObject(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_set_boundary(mixed.get(), content.stamp.boundary.toUtf8().constData());
    // The text a reader shows as the body comes first; the checksums can only follow the files
    // they are computed from, since the message goes out as it is read.
    if (content.manifest) {
        const QByteArray text = manifestText(*content.manifest, content.attachments).toUtf8();
        const auto body = newTextPart(memoryStream(text).get(), text);
        g_mime_multipart_add(mixed.get(), body.get());
    }
    for (const Attachment &attachment : content.attachments) {
        const auto part = attachmentPart(attachment, contents.attachment(attachment).get());
        g_mime_multipart_add(mixed.get(), part.get());
    }
    if (content.manifest) {
        const QByteArray standIn = checksumStandIn(content);
        const auto checksums = newTextPart(contents.checksums(standIn).get(), standIn,
                                           checksumFileName(*content.manifest));
        g_mime_multipart_add(mixed.get(), checksums.get());
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    return message;
}

// The streams a message being written reads its parts from, kept to ask for their failures
// and digests afterwards; the parts hold references of their own. With a manifest, their
// files are hashed on one thread for the message, which ends before the checksums are
// written, or with this object when the message ends early.
class ReadingStreams
{
public:
    ReadingStreams(const MessageContent &content, TransferMonitor &monitor, bool byPathOnly)
        : m_content(content), m_monitor(monitor), m_byPathOnly(byPathOnly)
    {
        if (content.manifest && !content.attachments.empty())
            m_hasher = newFileHashingThread();
    }

    PartContents contents()
    {
        return {[this](const Attachment &attachment) { return openAttachment(attachment); },
                [this](const QByteArray &standIn) {
                    m_checksums = openLateTextStream(standIn.size(), [this] { return lines(); });
                    return shareGObject(m_checksums.get());
                }};
    }

    // A read error or a cancel is the cause of anything that follows it, so it comes first.
    void rethrowFailure() const
    {
        for (const auto &stream : m_attachments)
            if (const std::exception_ptr failure = base64FileStreamFailure(stream.get()))
                std::rethrow_exception(failure);
        if (const std::exception_ptr failure = lateTextStreamFailure(m_checksums.get()))
            std::rethrow_exception(failure);
    }

private:
    GObjectPtr<GMimeStream> openAttachment(const Attachment &attachment)
    {
        // A message that states its files' sizes and checksums reads the files it states.
        if (m_hasher)
            m_attachments.push_back(openCheckedBase64FileStream(attachment, m_monitor, m_hasher));
        else if (m_byPathOnly)
            m_attachments.push_back(openBase64FileStream(attachment.path, m_monitor));
        else
            m_attachments.push_back(openBase64FileStream(attachment, m_monitor));
        return shareGObject(m_attachments.back().get());
    }

    // Asked once the files were read, as the part after them starts.
    QByteArray lines() const
    {
        m_hasher->finish();
        QByteArray text;
        for (std::size_t i = 0; i < m_attachments.size(); ++i) {
            const std::optional<Sha256Digest> digest =
                base64FileStreamDigest(m_attachments[i].get());
            if (!digest)
                throw Failure(QStringLiteral("Cannot compose the message \"%1\": %2 was not "
                                             "read whole before its checksum was due")
                                  .arg(m_content.subject, m_content.attachments[i].fileName));
            text += checksumLine(hexDigits(*digest), m_content.attachments[i].fileName);
        }
        return text;
    }

    const MessageContent &m_content;
    TransferMonitor &m_monitor;
    bool m_byPathOnly;
    std::shared_ptr<HashingThread> m_hasher; // before the streams, whose files lease its blocks
    std::vector<GObjectPtr<GMimeStream>> m_attachments;
    GObjectPtr<GMimeStream> m_checksums;
};

// Turns every bare LF written through it into CRLF, as the wire needs.
GObjectPtr<GMimeStream> crlfFilterOver(GMimeStream *target)
{
    auto filtered = adoptGObject(g_mime_stream_filter_new(target));
    const auto filter = adoptGObject(g_mime_filter_unix2dos_new(FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), filter.get());
    return filtered;
}

} // namespace

void writeMessage(const MessageContent &content, int fd, const QString &path,
                  TransferMonitor &monitor)
{
    ReadingStreams streams(content, monitor, false);
    const auto message = composeMessage(content, streams.contents());

    // Released, and its thread ended, however this function ends.
    const auto output = openFileOutputStream(fd, path);
    const ssize_t written =
        g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, output.get());
    streams.rethrowFailure();
    if (written < 0) {
        if (const std::exception_ptr failure = fileOutputStreamFailure(output.get()))
            std::rethrow_exception(failure);
        throw Failure(QStringLiteral("Cannot write %1").arg(path));
    }
    finishFileOutputStream(output.get());
}

void streamMessage(const MessageContent &content, LineEnding ending, TransferMonitor &monitor,
                   const std::function<void(const char *, std::size_t)> &write)
{
    ReadingStreams streams(content, monitor, true);
    const auto message = composeMessage(content, streams.contents());
    const auto sink = openCallbackOutputStream(write);
    const auto output =
        ending == LineEnding::CrLf ? crlfFilterOver(sink.get()) : shareGObject(sink.get());
    const bool written =
        g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, output.get()) >= 0 &&
        g_mime_stream_flush(output.get()) >= 0;
    streams.rethrowFailure();
    if (const std::exception_ptr failure = callbackOutputStreamFailure(sink.get()))
        std::rethrow_exception(failure);
    if (!written)
        throw Failure(QStringLiteral("Cannot compose the message \"%1\"").arg(content.subject));
}

std::uint64_t composedSize(const MessageContent &content, LineEnding ending)
{
    std::uint64_t encodedFiles = 0;
    for (const Attachment &attachment : content.attachments) {
        // A message that states its files' sizes goes with those files or not at all.
        const std::uint64_t size =
            content.manifest ? attachment.identity.size : currentIdentity(attachment.path).size;
        encodedFiles += base64LinesSize(size);
        if (ending == LineEnding::CrLf)
            encodedFiles += base64LineCount(size);
    }
    // The same message with empty contents: what GMime writes around them.
    const auto message = composeMessage(
        content, {[](const Attachment &) { return adoptGObject(g_mime_stream_mem_new()); },
                  [](const QByteArray &standIn) { return memoryStream(standIn); }});
    const auto counter = adoptGObject(g_mime_stream_null_new());
    const auto output =
        ending == LineEnding::CrLf ? crlfFilterOver(counter.get()) : shareGObject(counter.get());
    if (g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, output.get()) < 0 ||
        g_mime_stream_flush(output.get()) < 0)
        throw Failure(QStringLiteral("Cannot compose the message \"%1\"").arg(content.subject));
    return std::uint64_t(GMIME_STREAM_NULL(counter.get())->written) + encodedFiles;
}
