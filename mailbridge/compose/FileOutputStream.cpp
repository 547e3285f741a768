#include "mailbridge/compose/FileOutputStream.h"

#include "common/Failure.h"
#include "mailbridge/compose/BlockWriter.h"
#include "mailbridge/compose/GMimeStreamSubclass.h"

#include <cerrno>
#include <memory>

namespace {

// Blocks go out as they fill; finishing is the one full flush, so flush does nothing.
class FileOutputStreamState : public WriteOnlyStreamState
{
public:
    static const char *typeName() { return "FerrymailFileOutputStream"; }

    std::unique_ptr<BlockWriter> writer;

    ssize_t write(GMimeStream &stream, const char *data, size_t length)
    {
        writer->write(data, length);
        stream.position += gint64(length);
        return ssize_t(length);
    }
};

using FileOutputStreamType = GMimeStreamSubclass<FileOutputStreamState>;

} // namespace

GObjectPtr<GMimeStream> openFileOutputStream(int fd, const QString &path)
{
    auto writer = std::make_unique<BlockWriter>(fd, path);
    auto stream = FileOutputStreamType::create();
    FileOutputStreamType::stateOf(stream.get())->writer = std::move(writer);
    g_mime_stream_construct(stream.get(), 0, -1);
    return stream;
}

void finishFileOutputStream(GMimeStream *stream)
{
    FileOutputStreamState *state = FileOutputStreamType::stateOf(stream);
    if (!state)
        throw Failure(QStringLiteral("Cannot finish writing: not a file output stream"));
    if (const std::exception_ptr failure = state->failure())
        std::rethrow_exception(failure);
    state->writer->finish();
}

std::exception_ptr fileOutputStreamFailure(GMimeStream *stream)
{
    const FileOutputStreamState *state = FileOutputStreamType::stateOf(stream);
    return state ? state->failure() : nullptr;
}

std::optional<ssize_t> copyIntoFileOutputStream(GMimeStream *output, GMimeStream *content)
{
    FileOutputStreamState *state = FileOutputStreamType::stateOf(output);
    if (!state)
        return std::nullopt;
    if (state->failure())
        return -1;
    ssize_t total = 0;
    try {
        while (!g_mime_stream_eos(content)) {
            const std::span<char> room = state->writer->space();
            const ssize_t n = g_mime_stream_read(content, room.data(), room.size());
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            state->writer->commit(std::size_t(n));
            output->position += n;
            total += n;
        }
    } catch (...) {
        state->keepFailure(std::current_exception());
        return -1;
    }
    return total;
}
