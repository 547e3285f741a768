#pragma once

#include <QString>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

// Writes a stream of bytes to a descriptor it does not own through a thread of its own, so
// that the caller fills the next block while the last one goes to the file. Memory stays at
// a few fixed blocks whatever the size. The thread asks the kernel to start putting what it
// wrote on disk as it goes, so that an fsync at the end has little left to wait for.
//
// Every call throws Failure naming the path once a write failed (on the caller's thread as
// the writer thread's error). The thread ends in finish(), or at the latest in the
// destructor, which drops what was not yet written: no thread outlives the writer.
class BlockWriter
{
public:
    BlockWriter(int fd, QString path);
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Room to write into after what is buffered: never empty. commit(n) keeps its first n.
    std::span<char> space();
    void commit(std::size_t n);
    void write(const char *data, std::size_t length);

    // Writes out everything and waits for it, ending the thread; nothing may follow.
    void finish();

private:
    struct Block
    {
        std::unique_ptr<char[]> bytes;
        std::size_t used = 0;
    };

    void hand(Block block);
    void writeLoop();

    int m_fd;
    QString m_path;
    Block m_current;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block> m_full;     // waiting for the thread, in order
    std::vector<Block> m_free;    // written, ready to fill again
    bool m_closing = false;       // no more blocks will come
    std::exception_ptr m_failure; // the thread's first error
    std::thread m_thread;         // last: starts once the rest is ready
};
