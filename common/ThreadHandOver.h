#pragma once

#include <functional>

// Work handed between threads through Qt: its pool, and queued calls onto the application's
// thread. Qt orders such hand-overs with locks of its own that a thread checker cannot see,
// since Qt is not built for one; each is also done under a lock of ours, taken again on
// the other side, so the order Qt keeps is one the checker sees as well.

// Runs work on Qt's global thread pool, which the application waits for before it ends.
void runOnPool(std::function<void()> work);

// Runs work on the application's thread, from any thread, once that thread's loop gets to
// it; dropped if the application ends first.
void runOnApplicationThread(std::function<void()> work);
