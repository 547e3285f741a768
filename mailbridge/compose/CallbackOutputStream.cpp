#include "mailbridge/compose/CallbackOutputStream.h"

#include "mailbridge/compose/GMimeStreamSubclass.h"

namespace {

class CallbackOutputStreamState : public WriteOnlyStreamState
{
public:
    static const char *typeName() { return "FerrymailCallbackOutputStream"; }

    std::function<void(const char *, std::size_t)> sink;

    ssize_t write(GMimeStream &stream, const char *data, size_t length)
    {
        sink(data, length);
        stream.position += gint64(length);
        return ssize_t(length);
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
