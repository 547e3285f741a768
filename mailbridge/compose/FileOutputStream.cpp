#include "mailbridge/compose/FileOutputStream.h"

#include "common/Failure.h"
#include "mailbridge/compose/GMimeStreamMethods.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

constexpr std::size_t bufferBytes = 1 << 20;
// How much to write before asking the kernel to start putting it on disk.
constexpr off_t writebackBytes = 8 << 20;

class BufferedWriter
{
public:
    BufferedWriter(int fd, QString path)
        : m_fd(fd), m_path(std::move(path)),
          m_buffer(std::make_unique_for_overwrite<char[]>(bufferBytes))
    {
    }

    bool write(const char *data, std::size_t length)
    {
        if (failed())
            return false;
        if (m_used + length > bufferBytes && !flush())
            return false;
        if (length >= bufferBytes)
            return writeOut(data, length);
        std::memcpy(m_buffer.get() + m_used, data, length);
        m_used += length;
        return true;
    }

    bool flush()
    {
        if (failed())
            return false;
        const std::size_t used = m_used;
        m_used = 0;
        return writeOut(m_buffer.get(), used);
    }

    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }

private:
    bool writeOut(const char *data, std::size_t length)
    {
        while (length > 0) {
            const ssize_t n = ::write(m_fd, data, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                m_error = describeSystemError(QStringLiteral("Cannot write %1").arg(m_path), errno);
                return false;
            }
            data += n;
            length -= std::size_t(n);
            m_written += n;
        }
        if (m_written - m_writebackStart >= writebackBytes) {
            // A hint only: on failure the fsync at the end still does the whole job.
            ::sync_file_range(m_fd, m_writebackStart, m_written - m_writebackStart,
                              SYNC_FILE_RANGE_WRITE);
            m_writebackStart = m_written;
        }
        return true;
    }

    int m_fd;
    QString m_path;
    QString m_error;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    off_t m_written = 0;
    off_t m_writebackStart = 0;
};

} // namespace

struct FerrymailFileOutputStream
{
    GMimeStream parent;
    BufferedWriter *writer; // owned; deleted in finalize
};

struct FerrymailFileOutputStreamClass
{
    GMimeStreamClass parent;
};

G_DEFINE_TYPE(FerrymailFileOutputStream, ferrymail_file_output_stream, GMIME_TYPE_STREAM)

namespace {

BufferedWriter &writerOf(GMimeStream *stream)
{
    return *reinterpret_cast<FerrymailFileOutputStream *>(stream)->writer;
}

ssize_t streamRead(GMimeStream *, char *, size_t)
{
    errno = EBADF;
    return -1;
}

ssize_t streamWrite(GMimeStream *stream, const char *data, size_t length)
{
    if (!writerOf(stream).write(data, length))
        return -1;
    stream->position += gint64(length);
    return ssize_t(length);
}

int streamFlush(GMimeStream *stream)
{
    return writerOf(stream).flush() ? 0 : -1;
}

int streamClose(GMimeStream *stream)
{
    return streamFlush(stream);
}

gboolean streamEos(GMimeStream *)
{
    return FALSE;
}

int streamReset(GMimeStream *)
{
    errno = ESPIPE;
    return -1;
}

gint64 streamSeek(GMimeStream *, gint64, GMimeSeekWhence)
{
    errno = ESPIPE;
    return -1;
}

gint64 streamTell(GMimeStream *stream)
{
    return stream->position;
}

gint64 streamLength(GMimeStream *stream)
{
    return stream->position;
}

GMimeStream *streamSubstream(GMimeStream *, gint64, gint64)
{
    return nullptr;
}

} // namespace

static void ferrymail_file_output_stream_init(FerrymailFileOutputStream *stream)
{
    stream->writer = nullptr;
}

static void ferrymail_file_output_stream_finalize(GObject *object)
{
    delete reinterpret_cast<FerrymailFileOutputStream *>(object)->writer;
    G_OBJECT_CLASS(ferrymail_file_output_stream_parent_class)->finalize(object);
}

static void ferrymail_file_output_stream_class_init(FerrymailFileOutputStreamClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = ferrymail_file_output_stream_finalize;
    FERRYMAIL_SET_STREAM_METHODS(GMIME_STREAM_CLASS(klass));
}

GObjectPtr<GMimeStream> openFileOutputStream(int fd, const QString &path)
{
    auto writer = std::make_unique<BufferedWriter>(fd, path);
    // g_object_new returns the only reference, which the pointer below takes over.
    auto *stream = static_cast<FerrymailFileOutputStream *>(
        g_object_new(ferrymail_file_output_stream_get_type(), nullptr));
    stream->writer = writer.release();
    g_mime_stream_construct(&stream->parent, 0, -1);
    return adoptGObject(&stream->parent);
}

void finishFileOutputStream(GMimeStream *stream)
{
    BufferedWriter &writer = writerOf(stream);
    if (!writer.flush())
        throw Failure(writer.error());
}

QString fileOutputStreamError(GMimeStream *stream)
{
    return writerOf(stream).error();
}
