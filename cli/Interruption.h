#pragma once

#include "common/CancelToken.h"

#include <atomic>

// SIGINT and SIGTERM cancel the running Send, as the window's Cancel does; the exit code
// then tells which signal it was (128 + its number).
struct Interruption
{
    CancelToken cancel;
    std::atomic<int> signal{0};
};

// Routes both signals to the interruption until the guard goes; the previous handlers are
// restored then.
class InterruptHandlers
{
public:
    explicit InterruptHandlers(Interruption &interruption);
    ~InterruptHandlers();
    InterruptHandlers(const InterruptHandlers &) = delete;
    InterruptHandlers &operator=(const InterruptHandlers &) = delete;
};
