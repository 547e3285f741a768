#include "mailbridge/compose/BlockWriter.h"

#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

TEST(BlockWriter, WritesEverythingInOrderWhateverThePieces)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out");
    const QByteArray data = randomBytes(11 * 1024 * 1024 + 7, 5);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    {
        BlockWriter writer(fd, path);
        qsizetype at = 0;
        for (qsizetype piece = 1; at < data.size(); piece = piece * 3 % 5'000'011) {
            const qsizetype n = std::min(piece, data.size() - at);
            if (piece % 2) {
                writer.write(data.constData() + at, std::size_t(n));
            } else {
                // Straight into the block, as the encoder does.
                const std::span<char> room = writer.space();
                const std::size_t m = std::min(room.size(), std::size_t(n));
                std::memcpy(room.data(), data.constData() + at, m);
                writer.commit(m);
                at += qsizetype(m) - n;
            }
            at += n;
        }
        writer.finish();
    }
    ::close(fd);
    EXPECT_TRUE(fileBytes(path) == data);
}

TEST(BlockWriter, AWriteErrorComesBackNamingThePathAndNoThreadStays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("read-only");
    writeFile(path, "");
    const int threads = threadCount();
    for (const bool finishing : {true, false}) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        const QString failure = failureOf([&] {
            BlockWriter writer(fd, path);
            const QByteArray block(1 << 20, 'x');
            for (int i = 0; i < 64; ++i) // more than the blocks it holds
                writer.write(block.constData(), std::size_t(block.size()));
            if (finishing)
                writer.finish();
        });
        ::close(fd);
        EXPECT_TRUE(failure.contains(path) && failure.contains("Bad file descriptor")) << failure;
        EXPECT_EQ(threadCount(), threads);
    }
}

TEST(BlockWriter, DroppedUnfinishedEndsItsThread)
{
    const int threads = threadCount();
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    {
        BlockWriter writer(pipeEnds[1], "pipe");
        writer.write("abc", 3);
        EXPECT_EQ(threadCount(), threads + 1);
    }
    EXPECT_EQ(threadCount(), threads);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

} // namespace
