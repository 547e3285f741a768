#include "cli/Interruption.h"

#include <csignal>

namespace {

// Only lock-free atomics are touched in the handler.
std::atomic<Interruption *> current{nullptr};
struct sigaction previousInt;
struct sigaction previousTerm;

extern "C" void onSignal(int number)
{
    if (Interruption *interruption = current.load()) {
        interruption->signal.store(number);
        interruption->cancel.cancel();
    }
}

} // namespace

InterruptHandlers::InterruptHandlers(Interruption &interruption)
{
    static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
    current = &interruption;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptHandlers::~InterruptHandlers()
{
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    current = nullptr;
}
