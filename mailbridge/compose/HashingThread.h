#pragma once

#include "mailbridge/compose/Sha256.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Computes the SHA-256 of files on a thread of its own, from the very blocks their reader
// reads them into: the reader leases a block, reads into it, queues it and goes on encoding
// it while this thread hashes it. No byte is copied or read twice. A lease waits while every
// block is queued, so memory stays at a few blocks whatever the files' sizes, and a reader
// faster than the hash waits for it instead of running ahead.
//
// One reader thread makes every call. The thread ends in finish(), or at the latest in the
// destructor, which drops what is still queued: no thread outlives the object. Leases and
// files must end before it.
class HashingThread
{
    struct Slot;

public:
    // A block lent to the reader, given back when the lease ends. Its bytes must stay as they
    // are from when they are queued until the lease ends: each new read takes a new lease.
    class Lease
    {
    public:
        Lease() = default;
        Lease(Lease &&other) noexcept;
        Lease &operator=(Lease &&other) noexcept;
        ~Lease();
        unsigned char *data() const;

    private:
        friend class HashingThread;
        Lease(HashingThread *owner, Slot *slot) : m_owner(owner), m_slot(slot) {}
        HashingThread *m_owner = nullptr;
        Slot *m_slot = nullptr;
    };

    // One file's hash, from its first block to its digest.
    class File
    {
    public:
        File() = default; // throws Failure when OpenSSL cannot start a digest

    private:
        friend class HashingThread;
        Sha256 m_hash;                        // on the thread only, once started
        std::optional<Sha256Digest> m_digest; // set by the thread, read after it ended
        bool m_ended = false;
    };

    explicit HashingThread(std::size_t blockBytes);
    ~HashingThread();
    HashingThread(const HashingThread &) = delete;
    HashingThread &operator=(const HashingThread &) = delete;

    std::size_t blockBytes() const { return m_blockBytes; }

    // A block of blockBytes() to read into. Throws what made the hashing fail.
    Lease lease();
    // The next length bytes of the file are the block's first. Throws what made the hashing
    // fail, and logic_error once the thread has ended.
    void add(const std::shared_ptr<File> &file, const Lease &block, std::size_t length);
    // All of the file was added.
    void end(const std::shared_ptr<File> &file);

    // Waits until every queued block is hashed and ends the thread; throws what made the
    // hashing fail. Nothing may be added afterwards; leases still work.
    void finish();
    // The digest of an ended file once finish() returned; nothing before.
    std::optional<Sha256Digest> digest(const File &file) const;

private:
    struct Slot
    {
        std::unique_ptr<unsigned char[]> bytes;
        bool leased = false;
        int queued = 0; // jobs that still read it
    };
    struct Job
    {
        std::shared_ptr<File> file;
        const unsigned char *bytes = nullptr; // none: the file's end
        std::size_t length = 0;
        Slot *slot = nullptr;
    };

    void queue(Job job);
    void giveBack(Slot *slot);
    void hashLoop();

    const std::size_t m_blockBytes;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::deque<Job> m_jobs;
    bool m_closing = false;
    bool m_finished = false;      // the thread ended after every job was done
    std::exception_ptr m_failure; // the thread's first error
    std::thread m_thread;         // last: starts once the rest is ready
};
