#include "mailbridge/compose/Base64FileStream.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/Base64Lines.h"
#include "mailbridge/compose/GMimeStreamSubclass.h"
#include "mailbridge/compose/HashingThread.h"
#include "mailbridge/compose/RegularFile.h"
#include "mailbridge/compose/SystemIo.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <memory>

namespace {

// Large reads keep system calls rare; a whole number of lines so none straddles two reads.
// It is also the step at which a cancel takes effect.
constexpr std::size_t chunkBytes = base64LineInput * 16384;

// The encoded file, addressed by position in the encoded text. Shared by a stream and its
// substreams; what it returns depends on the position alone. Throws Failure or SendCancelled.
class EncodedFile
{
public:
    // inspected: the file as inspected, which gives the size without an open of its own;
    // none to learn it from the first open. Either way the first read's open decides. An
    // empty file is never read, so it is opened for its size: that open is its read.
    EncodedFile(QString path, TransferMonitor &monitor, std::optional<FileIdentity> inspected)
        : m_path(std::move(path)), m_monitor(monitor),
          m_identity(inspected && inspected->size > 0 ? inspected : std::nullopt)
    {
    }

    // What a message that states the file's size and checksum needs: the file as inspected,
    // and its SHA-256 from the blocks read to encode it, hashed by the thread while they are
    // encoded.
    void requireAsInspectedAndHash(const FileIdentity &inspected,
                                   std::shared_ptr<HashingThread> hasher)
    {
        m_required = inspected;
        m_hasher = std::move(hasher);
    }

    // Once every byte was read in order and the thread has finished: the SHA-256 of what was
    // encoded.
    std::optional<Sha256Digest> digest() const
    {
        return m_hashFile ? m_hasher->digest(*m_hashFile) : std::nullopt;
    }

    std::uint64_t encodedSize()
    {
        if (!m_identity)
            m_identity = open().identity;
        return base64LinesSize(m_identity->size);
    }

    std::size_t read(std::uint64_t position, char *buffer, std::size_t length);

    // Gives back the descriptor and the block; a later read opens the file again.
    void close()
    {
        m_fd.reset();
        dropChunk();
    }

private:
    struct Opened
    {
        FileDescriptor fd;
        FileIdentity identity;
    };
    Opened open();
    void openForReading();
    void loadChunkFor(std::uint64_t inputOffset);
    void checkUnchangedSince(const FileIdentity &before) const;
    void newChunk();
    void dropChunk();
    void hashChunk();

    QString m_path;
    TransferMonitor &m_monitor;
    bool m_started = false;
    bool m_read = false; // whether the file was opened to be read
    // The file as first seen, and as it was when the current read began.
    std::optional<FileIdentity> m_identity;
    FileIdentity m_readStart;
    FileDescriptor m_fd;
    // The block being encoded: the file's own, or lent by the hashing thread.
    std::shared_ptr<HashingThread> m_hasher; // before the lease, which ends first
    std::unique_ptr<unsigned char[]> m_ownChunk;
    HashingThread::Lease m_lentChunk;
    unsigned char *m_chunk = nullptr;
    std::uint64_t m_chunkStart = 0;
    std::size_t m_chunkLength = 0;
    // How far the file's bytes were reported, so that a second pass reports nothing again.
    std::uint64_t m_reported = 0;
    // The file a checked stream must find, its hash on the thread, and how many of its bytes
    // went there, in order.
    std::optional<FileIdentity> m_required;
    std::shared_ptr<HashingThread::File> m_hashFile;
    std::uint64_t m_hashed = 0;
    // One encoded line, for reads that start or end inside a line.
    char m_line[base64LineStride];
    std::uint64_t m_lineIndex = UINT64_MAX;
};

EncodedFile::Opened EncodedFile::open()
{
    if (m_monitor.cancelRequested())
        throw SendCancelled();
    if (!m_started) {
        m_started = true;
        m_monitor.attachmentStarted(m_path);
    }
    RegularFile file = openRegularFile(m_path);
    Opened opened{std::move(file.fd), identityOf(file.status)};
    // Replaced since it was inspected, before any of it was read: the new file goes whole.
    if (!m_read) {
        m_read = true;
        m_identity = opened.identity;
    }
    if (opened.identity != *m_identity || (m_required && opened.identity != *m_required))
        throw Failure(QStringLiteral("Cannot attach %1: it changed while being sent")
                          .arg(displayFileName(m_path)));
    if (m_hasher && !m_hashFile) {
        m_hashFile = std::make_shared<HashingThread::File>();
        if (m_identity->size == 0) // never read: this open is all there is to hash
            m_hasher->end(m_hashFile);
    }
    return opened;
}

void EncodedFile::checkUnchangedSince(const FileIdentity &before) const
{
    struct stat now = {};
    if (::fstat(m_fd.get(), &now) != 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot read %1").arg(displayFileName(m_path)), errno));
    if (identityOf(now) != before)
        throw Failure(QStringLiteral("Cannot attach %1: it changed while being sent")
                          .arg(displayFileName(m_path)));
}

void EncodedFile::loadChunkFor(std::uint64_t inputOffset)
{
    if (m_chunk && inputOffset >= m_chunkStart && inputOffset < m_chunkStart + m_chunkLength)
        return;
    if (m_monitor.cancelRequested())
        throw SendCancelled();
    if (!m_fd.isOpen())
        openForReading();
    newChunk();
    const std::uint64_t size = m_identity->size;
    m_chunkStart = inputOffset / chunkBytes * chunkBytes;
    const std::size_t wanted =
        std::size_t(std::min<std::uint64_t>(chunkBytes, size - m_chunkStart));
    if (readFully(m_fd.get(), m_chunk, wanted, off_t(m_chunkStart), m_path) != wanted)
        throw Failure(
            QStringLiteral("Cannot attach %1: it changed while being sent (it became shorter)")
                .arg(displayFileName(m_path)));
    m_chunkLength = wanted;
    hashChunk();
    // The last block read: what went into the message is whole only if the file stayed as it
    // was when the read began. The descriptor goes back at once; the block stays until encoded.
    if (m_chunkStart + wanted == size) {
        checkUnchangedSince(m_readStart);
        m_fd.reset();
    }
    if (m_chunkStart + wanted > m_reported) {
        m_monitor.attachmentBytes(std::int64_t(m_chunkStart + wanted - m_reported));
        m_reported = m_chunkStart + wanted;
    }
}

// A block to read into: the file's own one again, or a fresh lease, since a lent block may
// still be in the hash.
void EncodedFile::newChunk()
{
    m_chunkLength = 0;
    if (!m_hasher) {
        if (!m_ownChunk)
            m_ownChunk = std::make_unique_for_overwrite<unsigned char[]>(chunkBytes);
        m_chunk = m_ownChunk.get();
        return;
    }
    m_chunk = nullptr;
    m_lentChunk = HashingThread::Lease(); // back first, so that it may come again
    m_lentChunk = m_hasher->lease();
    m_chunk = m_lentChunk.data();
}

void EncodedFile::dropChunk()
{
    m_chunk = nullptr;
    m_chunkLength = 0;
    m_ownChunk.reset();
    m_lentChunk = HashingThread::Lease();
}

// The block just read goes to the thread while it is encoded here; a block read again is not
// hashed again.
void EncodedFile::hashChunk()
{
    if (!m_hashFile || m_chunkStart != m_hashed)
        return;
    m_hasher->add(m_hashFile, m_lentChunk, m_chunkLength);
    m_hashed += m_chunkLength;
    if (m_hashed == m_identity->size)
        m_hasher->end(m_hashFile);
}

void EncodedFile::openForReading()
{
    Opened opened = open();
    m_fd = std::move(opened.fd);
    m_readStart = opened.identity;
    ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::size_t EncodedFile::read(std::uint64_t position, char *buffer, std::size_t length)
{
    // The first read settles which file goes, and so the size, before any of it is encoded.
    if (!m_read) {
        openForReading();
        if (m_identity->size == 0)
            m_fd.reset();
    }
    const std::uint64_t encodedEnd = encodedSize();
    std::uint64_t at = position;
    std::size_t done = 0;
    while (done < length && at < encodedEnd) {
        const std::uint64_t line = at / base64LineStride;
        const std::size_t column = std::size_t(at % base64LineStride);
        const std::uint64_t inputOffset = line * base64LineInput;
        const std::size_t lineSize =
            std::size_t(std::min<std::uint64_t>(base64LineStride, encodedEnd - at + column));
        loadChunkFor(inputOffset);
        const unsigned char *input = m_chunk + (inputOffset - m_chunkStart);
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
    if (at >= encodedEnd)
        dropChunk();
    return done;
}

// The GMime side: the stream's state is its share of the file, and GMime's position and
// bounds say which part of the encoded text the stream covers.
class Base64FileStreamState : public StreamFailure
{
public:
    static const char *typeName() { return "FerrymailBase64FileStream"; }

    std::shared_ptr<EncodedFile> file;

    ssize_t read(GMimeStream &stream, char *buffer, size_t length)
    {
        const gint64 end = endOf(stream);
        if (stream.position >= end)
            return 0;
        length = std::size_t(std::min<gint64>(gint64(length), end - stream.position));
        const std::size_t n = file->read(std::uint64_t(stream.position), buffer, length);
        stream.position += gint64(n);
        return ssize_t(n);
    }
    ssize_t write(GMimeStream &, const char *, size_t)
    {
        errno = EBADF;
        return -1;
    }
    int flush(GMimeStream &) { return 0; }
    int close(GMimeStream &)
    {
        file->close();
        return 0;
    }
    bool eos(GMimeStream &stream) { return stream.position >= endOf(stream); }
    int reset(GMimeStream &) { return 0; } // GMime moves the position back to the start bound
    gint64 seek(GMimeStream &stream, gint64 offset, GMimeSeekWhence whence)
    {
        const gint64 end = endOf(stream);
        gint64 target = offset;
        if (whence == GMIME_STREAM_SEEK_CUR)
            target = stream.position + offset;
        else if (whence == GMIME_STREAM_SEEK_END)
            target = end + offset;
        if (target < stream.bound_start || target > end) {
            errno = EINVAL;
            return -1;
        }
        stream.position = target;
        return target;
    }
    gint64 tell(GMimeStream &stream) { return stream.position; }
    gint64 length(GMimeStream &stream) { return endOf(stream) - stream.bound_start; }
    GMimeStream *substream(GMimeStream &, gint64 start, gint64 end)
    {
        return newStream(file, start, end).release();
    }

    static GObjectPtr<GMimeStream> newStream(std::shared_ptr<EncodedFile> file, gint64 start,
                                             gint64 end);

private:
    // Where the readable text ends: the stream's upper bound, or the end of the encoding.
    gint64 endOf(GMimeStream &stream)
    {
        const gint64 size = gint64(file->encodedSize());
        return stream.bound_end == -1 ? size : std::min(stream.bound_end, size);
    }
};

using Base64FileStreamType = GMimeStreamSubclass<Base64FileStreamState>;

GObjectPtr<GMimeStream> Base64FileStreamState::newStream(std::shared_ptr<EncodedFile> file,
                                                         gint64 start, gint64 end)
{
    auto stream = Base64FileStreamType::create();
    Base64FileStreamType::stateOf(stream.get())->file = std::move(file);
    g_mime_stream_construct(stream.get(), start, end);
    return stream;
}

} // namespace

GObjectPtr<GMimeStream> openBase64FileStream(const QString &path, TransferMonitor &monitor)
{
    return Base64FileStreamState::newStream(
        std::make_shared<EncodedFile>(path, monitor, std::nullopt), 0, -1);
}

GObjectPtr<GMimeStream> openBase64FileStream(const Attachment &attachment, TransferMonitor &monitor)
{
    return Base64FileStreamState::newStream(
        std::make_shared<EncodedFile>(attachment.path, monitor, attachment.identity), 0, -1);
}

std::shared_ptr<HashingThread> newFileHashingThread()
{
    return std::make_shared<HashingThread>(chunkBytes);
}

GObjectPtr<GMimeStream> openCheckedBase64FileStream(const Attachment &attachment,
                                                    TransferMonitor &monitor,
                                                    std::shared_ptr<HashingThread> hasher)
{
    auto file = std::make_shared<EncodedFile>(attachment.path, monitor, attachment.identity);
    file->requireAsInspectedAndHash(attachment.identity, std::move(hasher));
    return Base64FileStreamState::newStream(std::move(file), 0, -1);
}

std::optional<Sha256Digest> base64FileStreamDigest(GMimeStream *stream)
{
    const Base64FileStreamState *state = Base64FileStreamType::stateOf(stream);
    return state ? state->file->digest() : std::nullopt;
}

std::exception_ptr base64FileStreamFailure(GMimeStream *stream)
{
    const Base64FileStreamState *state = Base64FileStreamType::stateOf(stream);
    return state ? state->failure() : nullptr;
}
