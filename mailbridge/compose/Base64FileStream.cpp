#include "mailbridge/compose/Base64FileStream.h"

#include "common/Failure.h"
#include "mailbridge/compose/Base64Lines.h"
#include "mailbridge/compose/GMimeStreamMethods.h"
#include "mailbridge/compose/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>

namespace {

// Large reads keep system calls rare; a whole number of lines so none straddles two reads.
constexpr std::size_t chunkBytes = base64LineInput * 16384;

// The encoded file, addressed by position in the encoded text. Shared by a stream and its
// substreams; what it returns depends on the position alone.
class EncodedFile
{
public:
    explicit EncodedFile(QString path) : m_path(std::move(path)) {}

    // -1 when the file cannot be read.
    gint64 encodedSize()
    {
        if (!m_sized && !open())
            return -1;
        return gint64(m_encodedSize);
    }

    ssize_t read(gint64 position, char *buffer, std::size_t length);

    // Gives back the descriptor and buffer; a later read opens the file again.
    void close()
    {
        m_fd.reset();
        m_chunk.reset();
        m_chunkLength = 0;
    }

    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }

private:
    bool open();
    bool loadChunkFor(std::uint64_t inputOffset);
    bool fail(const QString &error)
    {
        m_error = error;
        close();
        return false;
    }

    QString m_path;
    QString m_error;
    FileDescriptor m_fd;
    bool m_sized = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::uint64_t m_size = 0;
    std::uint64_t m_encodedSize = 0;
    std::unique_ptr<unsigned char[]> m_chunk;
    std::uint64_t m_chunkStart = 0;
    std::size_t m_chunkLength = 0;
    // One encoded line, for reads that start or end inside a line.
    char m_line[base64LineStride];
    std::uint64_t m_lineIndex = UINT64_MAX;
};

bool EncodedFile::open()
{
    if (failed())
        return false;
    if (m_fd.isOpen())
        return true;
    RegularFile file;
    try {
        file = openRegularFile(m_path);
    } catch (const Failure &failure) {
        return fail(failure.description());
    }
    const struct stat &status = file.status;
    if (m_sized && (status.st_dev != m_device || status.st_ino != m_inode ||
                    std::uint64_t(status.st_size) != m_size))
        return fail(QStringLiteral("Cannot attach %1: it changed while being sent").arg(m_path));
    m_device = status.st_dev;
    m_inode = status.st_ino;
    m_size = std::uint64_t(status.st_size);
    m_encodedSize = base64LinesSize(m_size);
    m_sized = true;
    m_fd = std::move(file.fd);
    ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool EncodedFile::loadChunkFor(std::uint64_t inputOffset)
{
    if (m_chunk && inputOffset >= m_chunkStart && inputOffset < m_chunkStart + m_chunkLength)
        return true;
    if (!open())
        return false;
    if (!m_chunk) {
        try {
            m_chunk = std::make_unique_for_overwrite<unsigned char[]>(chunkBytes);
        } catch (const std::bad_alloc &) {
            return fail(describeSystemError(QStringLiteral("Cannot read %1").arg(m_path), ENOMEM));
        }
    }
    m_chunkStart = inputOffset / chunkBytes * chunkBytes;
    m_chunkLength = std::size_t(std::min<std::uint64_t>(chunkBytes, m_size - m_chunkStart));
    for (std::size_t done = 0; done < m_chunkLength;) {
        const ssize_t n = ::pread(m_fd.get(), m_chunk.get() + done, m_chunkLength - done,
                                  off_t(m_chunkStart + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(describeSystemError(QStringLiteral("Cannot read %1").arg(m_path), errno));
        if (n == 0)
            return fail(
                QStringLiteral("Cannot attach %1: it became shorter while being sent").arg(m_path));
        done += std::size_t(n);
    }
    return true;
}

ssize_t EncodedFile::read(gint64 position, char *buffer, std::size_t length)
{
    if (encodedSize() < 0)
        return -1;
    std::uint64_t at = std::uint64_t(position);
    std::size_t done = 0;
    while (done < length && at < m_encodedSize) {
        const std::uint64_t line = at / base64LineStride;
        const std::size_t column = std::size_t(at % base64LineStride);
        const std::uint64_t inputOffset = line * base64LineInput;
        const std::size_t lineSize =
            std::size_t(std::min<std::uint64_t>(base64LineStride, m_encodedSize - at + column));
        if (!loadChunkFor(inputOffset))
            return -1;
        const unsigned char *input = m_chunk.get() + (inputOffset - m_chunkStart);
        const std::size_t inputInChunk = std::size_t(m_chunkStart + m_chunkLength - inputOffset);
        std::size_t produced;
        if (column == 0 && length - done >= lineSize) {
            // The common case: whole lines straight into the caller's buffer.
            const std::size_t lines = std::max<std::size_t>(1, (length - done) / base64LineStride);
            produced = encodeBase64Lines(input, std::min(inputInChunk, lines * base64LineInput),
                                         buffer + done);
        } else {
            if (m_lineIndex != line) {
                encodeBase64Lines(input, std::min(inputInChunk, base64LineInput), m_line);
                m_lineIndex = line;
            }
            produced = std::min(lineSize - column, length - done);
            std::memcpy(buffer + done, m_line + column, produced);
        }
        done += produced;
        at += produced;
    }
    if (at >= m_encodedSize)
        close();
    return ssize_t(done);
}

} // namespace

// The GObject side: a GMimeStream subclass whose instance holds the shared EncodedFile.
struct FerrymailBase64FileStream
{
    GMimeStream parent;
    std::shared_ptr<EncodedFile> file; // constructed in _init, destroyed in finalize
};

struct FerrymailBase64FileStreamClass
{
    GMimeStreamClass parent;
};

G_DEFINE_TYPE(FerrymailBase64FileStream, ferrymail_base64_file_stream, GMIME_TYPE_STREAM)

namespace {

EncodedFile &fileOf(GMimeStream *stream)
{
    return *reinterpret_cast<FerrymailBase64FileStream *>(stream)->file;
}

// Where the readable text ends: the stream's upper bound, or the end of the encoding.
gint64 endOf(GMimeStream *stream)
{
    const gint64 size = fileOf(stream).encodedSize();
    if (size < 0)
        return -1;
    return stream->bound_end == -1 ? size : std::min(stream->bound_end, size);
}

GMimeStream *newStream(std::shared_ptr<EncodedFile> file, gint64 start, gint64 end)
{
    // g_object_new returns the only reference, which the caller takes over.
    auto *stream = static_cast<FerrymailBase64FileStream *>(
        g_object_new(ferrymail_base64_file_stream_get_type(), nullptr));
    stream->file = std::move(file);
    g_mime_stream_construct(&stream->parent, start, end);
    return &stream->parent;
}

ssize_t streamRead(GMimeStream *stream, char *buffer, size_t length)
{
    const gint64 end = endOf(stream);
    if (end < 0)
        return -1;
    if (stream->position >= end)
        return 0;
    length = std::size_t(std::min<gint64>(gint64(length), end - stream->position));
    const ssize_t n = fileOf(stream).read(stream->position, buffer, length);
    if (n > 0)
        stream->position += n;
    return n;
}

ssize_t streamWrite(GMimeStream *, const char *, size_t)
{
    errno = EBADF;
    return -1;
}

int streamFlush(GMimeStream *)
{
    return 0;
}

int streamClose(GMimeStream *stream)
{
    fileOf(stream).close();
    return 0;
}

gboolean streamEos(GMimeStream *stream)
{
    // Not at the end while failed, so the caller reads and sees the -1.
    const gint64 end = endOf(stream);
    return end >= 0 && stream->position >= end;
}

int streamReset(GMimeStream *)
{
    return 0; // GMime moves the position back to the start bound
}

gint64 streamSeek(GMimeStream *stream, gint64 offset, GMimeSeekWhence whence)
{
    const gint64 end = endOf(stream);
    if (end < 0)
        return -1;
    gint64 target = offset;
    if (whence == GMIME_STREAM_SEEK_CUR)
        target = stream->position + offset;
    else if (whence == GMIME_STREAM_SEEK_END)
        target = end + offset;
    if (target < stream->bound_start || target > end) {
        errno = EINVAL;
        return -1;
    }
    stream->position = target;
    return target;
}

gint64 streamTell(GMimeStream *stream)
{
    return stream->position;
}

gint64 streamLength(GMimeStream *stream)
{
    const gint64 end = endOf(stream);
    return end < 0 ? -1 : end - stream->bound_start;
}

GMimeStream *streamSubstream(GMimeStream *stream, gint64 start, gint64 end)
{
    return newStream(reinterpret_cast<FerrymailBase64FileStream *>(stream)->file, start, end);
}

} // namespace

static void ferrymail_base64_file_stream_init(FerrymailBase64FileStream *stream)
{
    new (&stream->file) std::shared_ptr<EncodedFile>();
}

static void ferrymail_base64_file_stream_finalize(GObject *object)
{
    reinterpret_cast<FerrymailBase64FileStream *>(object)->file.~shared_ptr();
    G_OBJECT_CLASS(ferrymail_base64_file_stream_parent_class)->finalize(object);
}

static void ferrymail_base64_file_stream_class_init(FerrymailBase64FileStreamClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = ferrymail_base64_file_stream_finalize;
    FERRYMAIL_SET_STREAM_METHODS(GMIME_STREAM_CLASS(klass));
}

GObjectPtr<GMimeStream> openBase64FileStream(const QString &path)
{
    return adoptGObject(newStream(std::make_shared<EncodedFile>(path), 0, -1));
}

QString base64FileStreamError(GMimeStream *stream)
{
    if (!G_TYPE_CHECK_INSTANCE_TYPE(stream, ferrymail_base64_file_stream_get_type()))
        return QString();
    return fileOf(stream).error();
}
