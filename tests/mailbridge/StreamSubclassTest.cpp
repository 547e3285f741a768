#include "mailbridge/compose/GMimeStreamSubclass.h"

#include "mailbridge/compose/Base64FileStream.h"
#include "mailbridge/compose/FileOutputStream.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "support/TestTools.h"

#include <stdexcept>

namespace {

int liveStates = 0;

// A stream whose reads count up and throw on request, to watch the template at work.
class ProbeState : public StreamFailure
{
public:
    static const char *typeName() { return "FerrymailProbeStream"; }
    ProbeState() noexcept { ++liveStates; }
    ~ProbeState() { --liveStates; }

    bool throwOnRead = false;
    int reads = 0;

    ssize_t read(GMimeStream &, char *, size_t)
    {
        ++reads;
        if (throwOnRead)
            throw Failure("probe failed");
        return 1;
    }
    ssize_t write(GMimeStream &, const char *, size_t length) { return ssize_t(length); }
    int flush(GMimeStream &) { return 0; }
    int close(GMimeStream &) { return 0; }
    bool eos(GMimeStream &) { return false; }
    int reset(GMimeStream &) { return 0; }
    gint64 seek(GMimeStream &, gint64, GMimeSeekWhence) { return 0; }
    gint64 tell(GMimeStream &) { return 0; }
    gint64 length(GMimeStream &) { return 0; }
    GMimeStream *substream(GMimeStream &, gint64, gint64) { return nullptr; }
};

using ProbeStream = GMimeStreamSubclass<ProbeState>;

class StreamSubclassTest : public testing::Test
{
protected:
    void SetUp() override { initGMime(); }
};

TEST_F(StreamSubclassTest, TheStateLivesFromInitToTheLastReference)
{
    const int before = liveStates;
    {
        auto stream = ProbeStream::create();
        EXPECT_EQ(liveStates, before + 1);
        auto second = shareGObject(stream.get());
        stream.reset();
        EXPECT_EQ(liveStates, before + 1) << "a reference is left";
    }
    EXPECT_EQ(liveStates, before);
}

TEST_F(StreamSubclassTest, AThrowingMethodFailsTowardsGMimeAndKeepsTheException)
{
    auto stream = ProbeStream::create();
    ProbeState *state = ProbeStream::stateOf(stream.get());
    ASSERT_TRUE(state);
    char byte;
    EXPECT_EQ(g_mime_stream_read(stream.get(), &byte, 1), 1);
    state->throwOnRead = true;
    EXPECT_EQ(g_mime_stream_read(stream.get(), &byte, 1), -1);
    ASSERT_TRUE(state->failure());
    EXPECT_EQ(failureOf([&] { std::rethrow_exception(state->failure()); }), "probe failed");
    state->throwOnRead = false;
    EXPECT_EQ(g_mime_stream_read(stream.get(), &byte, 1), -1) << "a failure sticks";
    EXPECT_EQ(g_mime_stream_write(stream.get(), &byte, 1), -1);
    EXPECT_EQ(state->reads, 2);
}

TEST_F(StreamSubclassTest, EveryCastChecksTheType)
{
    auto memory = adoptGObject(g_mime_stream_mem_new());
    EXPECT_EQ(ProbeStream::stateOf(memory.get()), nullptr);
    EXPECT_EQ(ProbeStream::stateOf(nullptr), nullptr);
    EXPECT_FALSE(base64FileStreamFailure(memory.get()));
    EXPECT_FALSE(fileOutputStreamFailure(memory.get()));
    EXPECT_FALSE(copyIntoFileOutputStream(memory.get(), memory.get()));
    EXPECT_THROW(finishFileOutputStream(memory.get()), Failure);
    auto probe = ProbeStream::create();
    EXPECT_FALSE(base64FileStreamFailure(probe.get())) << "another subclass of the template";
    // A method of one subclass called on an object of another fails instead of misreading it.
    char byte;
    EXPECT_EQ(GMIME_STREAM_GET_CLASS(probe.get())->read(memory.get(), &byte, 1), -1);
}

} // namespace
