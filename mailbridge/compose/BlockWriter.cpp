#include "mailbridge/compose/BlockWriter.h"

#include "common/Failure.h"
#include "mailbridge/compose/SystemIo.h"

#include <cstring>
#include <fcntl.h>

namespace {

// Two blocks in flight while one is filled: the writer never waits for the encoder unless
// the encoder is slower. Large blocks keep system calls and wake-ups rare.
constexpr std::size_t blockBytes = 4 << 20;
constexpr int blockCount = 3;
// How much to write before asking the kernel to start putting it on disk.
constexpr off_t writebackBytes = 8 << 20;

} // namespace

BlockWriter::BlockWriter(int fd, QString path) : m_fd(fd), m_path(std::move(path))
{
    m_current.bytes = std::make_unique_for_overwrite<char[]>(blockBytes);
    for (int i = 1; i < blockCount; ++i)
        m_free.push_back(Block{std::make_unique_for_overwrite<char[]>(blockBytes), 0});
    m_thread = std::thread([this] { writeLoop(); });
}

BlockWriter::~BlockWriter()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
        m_full.clear(); // not finished: what is left is not wanted
    }
    m_changed.notify_all();
    m_thread.join();
}

std::span<char> BlockWriter::space()
{
    if (m_current.used == blockBytes)
        hand(std::move(m_current));
    return {m_current.bytes.get() + m_current.used, blockBytes - m_current.used};
}

void BlockWriter::commit(std::size_t n)
{
    m_current.used += n;
}

void BlockWriter::write(const char *data, std::size_t length)
{
    while (length > 0) {
        const std::span<char> room = space();
        const std::size_t n = std::min(room.size(), length);
        std::memcpy(room.data(), data, n);
        commit(n);
        data += n;
        length -= n;
    }
}

void BlockWriter::hand(Block block)
{
    std::unique_lock lock(m_mutex);
    if (m_failure)
        std::rethrow_exception(m_failure);
    m_full.push_back(std::move(block));
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_free.empty() || m_failure; });
    if (m_failure)
        std::rethrow_exception(m_failure);
    m_current = std::move(m_free.back());
    m_free.pop_back();
    m_current.used = 0;
}

void BlockWriter::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_current.used > 0)
            m_full.push_back(std::move(m_current));
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join(); // it ends once every block is written
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void BlockWriter::writeLoop()
{
    off_t written = 0;
    off_t writebackStart = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_full.empty() || m_closing; });
        if (m_full.empty())
            return; // closing with nothing left
        Block block = std::move(m_full.front());
        m_full.pop_front();
        lock.unlock();
        std::exception_ptr failure;
        if (!m_failure) { // read without the lock: only this thread sets it
            try {
                writeFully(m_fd, block.bytes.get(), block.used, m_path);
                written += off_t(block.used);
                if (written - writebackStart >= writebackBytes) {
                    // A hint only: on failure the fsync at the end still does the whole job.
                    ::sync_file_range(m_fd, writebackStart, written - writebackStart,
                                      SYNC_FILE_RANGE_WRITE);
                    writebackStart = written;
                }
            } catch (...) {
                failure = std::current_exception();
            }
        }
        lock.lock();
        if (failure)
            m_failure = failure;
        block.used = 0;
        m_free.push_back(std::move(block));
        m_changed.notify_all();
    }
}
