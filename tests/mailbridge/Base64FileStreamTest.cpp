#include "mailbridge/compose/Base64FileStream.h"

#include "mailbridge/TransferMonitor.h"

#include "mailbridge/compose/Base64Lines.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

namespace {

class Base64FileStreamTest : public testing::Test
{
protected:
    void SetUp() override { initGMime(); }

    // Makes a file of random bytes; returns what the stream must yield for it.
    QByteArray makeFile(const QString &path, qsizetype size)
    {
        const QByteArray bytes = randomBytes(size, quint32(size));
        writeFile(path, bytes);
        QByteArray encoded(qsizetype(base64LinesSize(std::uint64_t(size))), Qt::Uninitialized);
        encodeBase64Lines(reinterpret_cast<const unsigned char *>(bytes.constData()),
                          std::size_t(size), encoded.data());
        return encoded;
    }

    // Everything up to the end, in reads of the given size.
    static QByteArray readAll(GMimeStream *stream, std::size_t readSize)
    {
        QByteArray all;
        QByteArray buffer(qsizetype(readSize), Qt::Uninitialized);
        while (!g_mime_stream_eos(stream)) {
            const ssize_t n = g_mime_stream_read(stream, buffer.data(), readSize);
            if (n < 0) {
                ADD_FAILURE() << "read failed";
                break;
            }
            all += buffer.left(n);
        }
        return all;
    }

    // The description of what made the stream fail, or an empty text.
    static QString failureText(GMimeStream *stream)
    {
        return failureOf([&] {
            if (const std::exception_ptr failure = base64FileStreamFailure(stream))
                std::rethrow_exception(failure);
        });
    }

    QTemporaryDir dir;
};

TEST_F(Base64FileStreamTest, YieldsTheEncodedFileWhateverTheReadSize)
{
    for (const qsizetype size : {0, 1, 2, 3, 56, 57, 58, 4096, 57 * 16384 + 1, 3'000'001}) {
        const QString path = dir.filePath(QString::number(size));
        const QByteArray encoded = makeFile(path, size);
        for (const std::size_t readSize : {1, 7, 76, 77, 78, 4096, 1 << 20}) {
            const auto stream = openBase64FileStream(path, TransferMonitor::none());
            EXPECT_EQ(g_mime_stream_length(stream.get()), encoded.size());
            ASSERT_EQ(readAll(stream.get(), readSize), encoded)
                << "size " << size << ", reads of " << readSize;
        }
    }
}

TEST_F(Base64FileStreamTest, SeeksResetsAndCutsSubstreams)
{
    const QString path = dir.filePath("f");
    const QByteArray encoded = makeFile(path, 1000);
    const auto stream = openBase64FileStream(path, TransferMonitor::none());
    char buffer[100];

    ASSERT_EQ(g_mime_stream_seek(stream.get(), 80, GMIME_STREAM_SEEK_SET), 80);
    ASSERT_EQ(g_mime_stream_read(stream.get(), buffer, 10), 10);
    EXPECT_EQ(QByteArray(buffer, 10), encoded.mid(80, 10));
    EXPECT_EQ(g_mime_stream_tell(stream.get()), 90);

    EXPECT_EQ(g_mime_stream_seek(stream.get(), -5, GMIME_STREAM_SEEK_END), encoded.size() - 5);
    EXPECT_EQ(g_mime_stream_read(stream.get(), buffer, 100), 5);
    EXPECT_TRUE(g_mime_stream_eos(stream.get()));
    EXPECT_EQ(g_mime_stream_seek(stream.get(), 1, GMIME_STREAM_SEEK_END), -1);

    ASSERT_EQ(g_mime_stream_reset(stream.get()), 0);
    EXPECT_EQ(readAll(stream.get(), 333), encoded) << "a second pass reads it all again";

    const auto sub = adoptGObject(g_mime_stream_substream(stream.get(), 70, 160));
    ASSERT_TRUE(sub);
    EXPECT_EQ(g_mime_stream_length(sub.get()), 90);
    EXPECT_EQ(readAll(sub.get(), 50), encoded.mid(70, 90));
}

TEST_F(Base64FileStreamTest, ReportsAFileThatCannotBeReadWithItsPath)
{
    const QString path = dir.filePath("missing");
    const auto stream = openBase64FileStream(path, TransferMonitor::none());
    EXPECT_FALSE(g_mime_stream_eos(stream.get())) << "so that a reader calls read and fails";
    char buffer[10];
    EXPECT_EQ(g_mime_stream_read(stream.get(), buffer, sizeof buffer), -1);
    EXPECT_TRUE(failureText(stream.get()).contains(path));
    EXPECT_TRUE(failureText(stream.get()).contains("No such file"));
}

TEST_F(Base64FileStreamTest, ReportsAFileThatShrankWhileBeingRead)
{
    const QString path = dir.filePath("shrinking");
    makeFile(path, 57 * 16384 * 2);
    const auto stream = openBase64FileStream(path, TransferMonitor::none());
    char buffer[4096];
    ASSERT_EQ(g_mime_stream_read(stream.get(), buffer, sizeof buffer), 4096);
    ASSERT_TRUE(QFile::resize(path, 57 * 16384));

    ssize_t n = 0;
    while (n >= 0 && !g_mime_stream_eos(stream.get()))
        n = g_mime_stream_read(stream.get(), buffer, sizeof buffer);
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(failureText(stream.get()).contains(path));
}

} // namespace
