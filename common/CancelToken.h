#pragma once

#include <atomic>

// Set by whoever wants a running Send to stop (the window's Cancel, a signal); read by the
// sending thread between blocks.
class CancelToken
{
public:
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
};
