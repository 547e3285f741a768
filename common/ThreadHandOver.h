#pragma once

#include <functional>

class QObject;

// Work handed between threads. Each hand-over is done under a lock that the receiving thread
// takes again before it starts, so a thread checker sees the order, also where Qt carries
// the work with locks of its own that the checker cannot see (Qt is not built for one).

// Runs work on a thread of its own, which the application waits for before it ends.
void runInBackground(std::function<void()> work);

// Runs work on the application's thread, from any thread, once that thread's loop gets to
// it; dropped if the application ends first.
void runOnApplicationThread(std::function<void()> work);

// Runs work on the thread of context, from any thread, once that thread's loop gets to it;
// context must outlive the hand-over (a thread's own long-lived object).
void runOnThreadOf(QObject *context, std::function<void()> work);
