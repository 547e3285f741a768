#include "mailbridge/compose/CallbackOutputStream.h"

#include "mailbridge/compose/GMimeStreamSubclass.h"

namespace {

class CallbackOutputStreamState : public StreamFailure
{
public:
    static const char *typeName() { return "FerrymailCallbackOutputStream"; }

    std::function<void(const char *, std::size_t)> sink;

    ssize_t read(GMimeStream &, char *, size_t)
    {
        errno = EBADF;
        return -1;
    }
    ssize_t write(GMimeStream &stream, const char *data, size_t length)
    {
        sink(data, length);
        stream.position += gint64(length);
        return ssize_t(length);
    }
    int flush(GMimeStream &) { return 0; }
    int close(GMimeStream &) { return 0; }
    bool eos(GMimeStream &) { return false; }
    int reset(GMimeStream &) { return unseekable(); }
    gint64 seek(GMimeStream &, gint64, GMimeSeekWhence) { return unseekable(); }
    gint64 tell(GMimeStream &stream) { return stream.position; }
    gint64 length(GMimeStream &stream) { return stream.position; }
    GMimeStream *substream(GMimeStream &, gint64, gint64) { return nullptr; }

private:
    static int unseekable()
    {
        errno = ESPIPE;
        return -1;
    }
};

using CallbackOutputStreamType = GMimeStreamSubclass<CallbackOutputStreamState>;

} // namespace

GObjectPtr<GMimeStream>
openCallbackOutputStream(std::function<void(const char *, std::size_t)> write)
{
    auto stream = CallbackOutputStreamType::create();
    CallbackOutputStreamType::stateOf(stream.get())->sink = std::move(write);
    g_mime_stream_construct(stream.get(), 0, -1);
    return stream;
}

std::exception_ptr callbackOutputStreamFailure(GMimeStream *stream)
{
    const CallbackOutputStreamState *state = CallbackOutputStreamType::stateOf(stream);
    return state ? state->failure() : nullptr;
}
