#include "mailbridge/compose/LateTextStream.h"

#include "common/Failure.h"
#include "mailbridge/compose/GMimeStreamSubclass.h"

#include <algorithm>
#include <cstring>

namespace {

class LateTextStreamState : public StreamFailure
{
public:
    static const char *typeName() { return "FerrymailLateTextStream"; }

    std::function<QByteArray()> make;
    qsizetype size = 0;

    ssize_t read(GMimeStream &stream, char *buffer, size_t wanted)
    {
        if (!m_made) {
            m_text = make();
            m_made = true;
            if (m_text.size() != size)
                throw Failure(QStringLiteral("Cannot compose the message: a part came out %1 "
                                             "bytes long instead of the %2 measured")
                                  .arg(m_text.size())
                                  .arg(size));
        }
        const gint64 end = endOf(stream);
        if (stream.position >= end)
            return 0;
        const std::size_t n = std::size_t(std::min<gint64>(gint64(wanted), end - stream.position));
        std::memcpy(buffer, m_text.constData() + stream.position, n);
        stream.position += gint64(n);
        return ssize_t(n);
    }
    ssize_t write(GMimeStream &, const char *, size_t)
    {
        errno = EBADF;
        return -1;
    }
    int flush(GMimeStream &) { return 0; }
    int close(GMimeStream &) { return 0; }
    bool eos(GMimeStream &stream) { return stream.position >= endOf(stream); }
    int reset(GMimeStream &) { return 0; } // GMime moves the position back to the start bound
    gint64 seek(GMimeStream &stream, gint64 offset, GMimeSeekWhence whence)
    {
        gint64 target = offset;
        if (whence == GMIME_STREAM_SEEK_CUR)
            target = stream.position + offset;
        else if (whence == GMIME_STREAM_SEEK_END)
            target = endOf(stream) + offset;
        if (target < stream.bound_start || target > endOf(stream)) {
            errno = EINVAL;
            return -1;
        }
        stream.position = target;
        return target;
    }
    gint64 tell(GMimeStream &stream) { return stream.position; }
    gint64 length(GMimeStream &stream) { return endOf(stream) - stream.bound_start; }
    GMimeStream *substream(GMimeStream &, gint64, gint64)
    {
        errno = ENOTSUP;
        return nullptr;
    }

private:
    gint64 endOf(const GMimeStream &stream) const
    {
        return stream.bound_end == -1 ? gint64(size) : std::min(stream.bound_end, gint64(size));
    }

    QByteArray m_text;
    bool m_made = false;
};

using LateTextStreamType = GMimeStreamSubclass<LateTextStreamState>;

} // namespace

GObjectPtr<GMimeStream> openLateTextStream(qsizetype length, std::function<QByteArray()> make)
{
    auto stream = LateTextStreamType::create();
    LateTextStreamState *state = LateTextStreamType::stateOf(stream.get());
    state->make = std::move(make);
    state->size = length;
    g_mime_stream_construct(stream.get(), 0, -1);
    return stream;
}

std::exception_ptr lateTextStreamFailure(GMimeStream *stream)
{
    const LateTextStreamState *state = LateTextStreamType::stateOf(stream);
    return state ? state->failure() : nullptr;
}
