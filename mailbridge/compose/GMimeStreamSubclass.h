#pragma once

#include "mailbridge/compose/GObjectSubclass.h"

#include <cerrno>
#include <exception>

// What every stream state shares: the first exception one of its methods threw. GMime is C
// and cannot pass an exception on, so a method that throws answers GMime with a failure and
// the exception waits here for the C++ caller; once failed, reads and writes keep failing.
class StreamFailure
{
public:
    void keepFailure(std::exception_ptr failure) noexcept
    {
        if (!m_failure)
            m_failure = failure;
    }
    std::exception_ptr failure() const noexcept { return m_failure; }

private:
    std::exception_ptr m_failure;
};

// What every write-only stream answers besides its write: nothing to read, no seeking, the
// position counting what was written. A state derives from it and adds write (and flush).
class WriteOnlyStreamState : public StreamFailure
{
public:
    ssize_t read(GMimeStream &, char *, size_t)
    {
        errno = EBADF;
        return -1;
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

// A GMimeStream subclass implemented by State, a StreamFailure with these members, each
// given the GMimeStream it belongs to:
//   static const char *typeName();
//   ssize_t read(GMimeStream &, char *, size_t);      ssize_t write(GMimeStream &, const char *,
//   size_t); int flush(GMimeStream &);    int close(GMimeStream &);    bool eos(GMimeStream &); int
//   reset(GMimeStream &);    gint64 seek(GMimeStream &, gint64, GMimeSeekWhence); gint64
//   tell(GMimeStream &);  gint64 length(GMimeStream &); GMimeStream *substream(GMimeStream &,
//   gint64 start, gint64 end);   a new reference or null
template <typename Implementation> struct GMimeStreamTraits
{
    using Parent = GMimeStream;
    using ParentClass = GMimeStreamClass;
    using State = Implementation;
    static GType parentType() { return GMIME_TYPE_STREAM; }
    static const char *typeName() { return State::typeName(); }
    static void initClass(GMimeStreamClass *methods);
};

template <typename State> using GMimeStreamSubclass = GObjectSubclass<GMimeStreamTraits<State>>;

namespace gmime_stream_detail {

// Runs a method of the stream's state; answers `failed` for an object of another type, after
// a failure, and when the method throws.
template <typename State, bool stopsAfterFailure, typename Result, typename Method,
          typename... Args>
Result call(GMimeStream *stream, Result failed, Method method, Args... args)
{
    State *state = GMimeStreamSubclass<State>::stateOf(stream);
    if (!state) {
        errno = EINVAL;
        return failed;
    }
    if (stopsAfterFailure && state->failure()) {
        errno = EIO;
        return failed;
    }
    try {
        return Result((state->*method)(*stream, args...));
    } catch (...) {
        state->keepFailure(std::current_exception());
        errno = EIO;
        return failed;
    }
}

} // namespace gmime_stream_detail

template <typename Implementation>
void GMimeStreamTraits<Implementation>::initClass(GMimeStreamClass *methods)
{
    using gmime_stream_detail::call;
    methods->read = [](GMimeStream *s, char *buffer, size_t length) {
        return call<State, true>(s, ssize_t(-1), &State::read, buffer, length);
    };
    methods->write = [](GMimeStream *s, const char *data, size_t length) {
        return call<State, true>(s, ssize_t(-1), &State::write, data, length);
    };
    methods->flush = [](GMimeStream *s) { return call<State, true>(s, -1, &State::flush); };
    methods->close = [](GMimeStream *s) { return call<State, false>(s, -1, &State::close); };
    // Not at the end after a failure, so that a reader calls read and sees the -1.
    methods->eos = [](GMimeStream *s) {
        return call<State, true>(s, gboolean(FALSE), &State::eos) ? TRUE : FALSE;
    };
    methods->reset = [](GMimeStream *s) { return call<State, true>(s, -1, &State::reset); };
    methods->seek = [](GMimeStream *s, gint64 offset, GMimeSeekWhence whence) {
        return call<State, true>(s, gint64(-1), &State::seek, offset, whence);
    };
    methods->tell = [](GMimeStream *s) { return call<State, false>(s, gint64(-1), &State::tell); };
    methods->length = [](GMimeStream *s) {
        return call<State, true>(s, gint64(-1), &State::length);
    };
    methods->substream = [](GMimeStream *s, gint64 start, gint64 end) {
        return call<State, true>(s, static_cast<GMimeStream *>(nullptr), &State::substream, start,
                                 end);
    };
}
