#include "mailbridge/compose/HashingThread.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// One block being read and encoded while two wait for or are in the hash: the reader waits
// only when hashing is the slower of the two.
constexpr std::size_t pooledBlocks = 3;

} // namespace

HashingThread::Lease::Lease(Lease &&other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr)), m_slot(std::exchange(other.m_slot, nullptr))
{
}

HashingThread::Lease &HashingThread::Lease::operator=(Lease &&other) noexcept
{
    if (this != &other) {
        if (m_slot)
            m_owner->giveBack(m_slot);
        m_owner = std::exchange(other.m_owner, nullptr);
        m_slot = std::exchange(other.m_slot, nullptr);
    }
    return *this;
}

HashingThread::Lease::~Lease()
{
    if (m_slot)
        m_owner->giveBack(m_slot);
}

unsigned char *HashingThread::Lease::data() const
{
    return m_slot ? m_slot->bytes.get() : nullptr;
}

HashingThread::HashingThread(std::size_t blockBytes) : m_blockBytes(blockBytes)
{
    m_thread = std::thread([this] { hashLoop(); });
}

HashingThread::~HashingThread()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
        // Not finished: a cancel or a failure ends the message, and its hashes are not wanted.
        for (const Job &job : m_jobs)
            if (job.slot)
                --job.slot->queued;
        m_jobs.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

HashingThread::Lease HashingThread::lease()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_failure)
            std::rethrow_exception(m_failure);
        for (const auto &slot : m_slots)
            if (!slot->leased && slot->queued == 0) {
                slot->leased = true;
                return Lease(this, slot.get());
            }
        // Wait only for a block the thread will give back; with every block lent out
        // (readers taking turns), one more is the only way on.
        const bool anyQueued = std::any_of(m_slots.begin(), m_slots.end(),
                                           [](const auto &slot) { return slot->queued > 0; });
        if (m_slots.size() < pooledBlocks || !anyQueued) {
            auto slot = std::make_unique<Slot>();
            slot->bytes = std::make_unique_for_overwrite<unsigned char[]>(m_blockBytes);
            slot->leased = true;
            m_slots.push_back(std::move(slot));
            return Lease(this, m_slots.back().get());
        }
        m_changed.wait(lock);
    }
}

void HashingThread::giveBack(Slot *slot)
{
    const std::lock_guard lock(m_mutex);
    slot->leased = false;
}

void HashingThread::add(const std::shared_ptr<File> &file, const Lease &block, std::size_t length)
{
    if (block.m_owner != this || length > m_blockBytes)
        throw std::logic_error("HashingThread::add: a block of another pool");
    queue(Job{file, block.m_slot->bytes.get(), length, block.m_slot});
}

void HashingThread::end(const std::shared_ptr<File> &file)
{
    file->m_ended = true;
    queue(Job{file, nullptr, 0, nullptr});
}

void HashingThread::queue(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_failure)
            std::rethrow_exception(m_failure);
        if (m_closing)
            throw std::logic_error("HashingThread: a block after the end");
        if (job.slot)
            ++job.slot->queued;
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void HashingThread::finish()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        m_thread.join(); // it ends once every job is done
        m_finished = true;
    }
    if (m_failure)
        std::rethrow_exception(m_failure);
}

std::optional<Sha256Digest> HashingThread::digest(const File &file) const
{
    // Joined: what the thread wrote is seen without the lock.
    return m_finished && file.m_ended ? file.m_digest : std::nullopt;
}

void HashingThread::hashLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_jobs.empty() || m_closing; });
        if (m_jobs.empty())
            return; // closing with nothing left
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        const bool failed = bool(m_failure);
        lock.unlock();
        std::exception_ptr failure;
        if (!failed) {
            try {
                if (job.bytes)
                    job.file->m_hash.add(job.bytes, job.length);
                else
                    job.file->m_digest = job.file->m_hash.finish();
            } catch (...) {
                failure = std::current_exception();
            }
        }
        job.file.reset(); // off the lock: it may be the file's last owner
        lock.lock();
        if (failure && !m_failure)
            m_failure = failure;
        if (job.slot)
            --job.slot->queued;
        m_changed.notify_all();
    }
}
