#include "common/ThreadHandOver.h"

#include <QCoreApplication>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Held while work is handed over, and taken by the receiving thread before it starts. One
// for all: the receiver must reach it without reading anything the sender wrote.
std::mutex handOver;

std::function<void()> behindLock(std::function<void()> work)
{
    return [work = std::move(work)] {
        {
            const std::lock_guard arrived(handOver);
        }
        work();
    };
}

// The threads of runInBackground. Those that ended are joined as new ones start; the rest
// when the application object goes, or at the latest when the program ends.
class BackgroundThreads
{
public:
    ~BackgroundThreads() { joinAll(); }

    void start(std::function<void()> work)
    {
        const std::lock_guard lock(m_mutex);
        m_running.remove_if([](Running &running) {
            if (!running.ended->load())
                return false;
            running.thread.join();
            return true;
        });
        auto ended = std::make_shared<std::atomic<bool>>(false);
        m_running.push_back({std::thread([work = std::move(work), ended] {
                                 work();
                                 ended->store(true);
                             }),
                             ended});
    }

    void joinAll()
    {
        std::list<Running> running;
        {
            const std::lock_guard lock(m_mutex);
            running.swap(m_running);
        }
        for (Running &one : running)
            one.thread.join();
    }

private:
    struct Running
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::mutex m_mutex;
    std::list<Running> m_running;
};

BackgroundThreads &backgroundThreads()
{
    static BackgroundThreads threads;
    static const bool joinedWithTheApplication = [] {
        qAddPostRoutine([] { backgroundThreads().joinAll(); });
        return true;
    }();
    (void)joinedWithTheApplication;
    return threads;
}

} // namespace

void runInBackground(std::function<void()> work)
{
    BackgroundThreads &threads = backgroundThreads();
    std::function<void()> task = behindLock(std::move(work));
    const std::lock_guard passing(handOver);
    threads.start(std::move(task));
}

void runOnApplicationThread(std::function<void()> work)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    runOnThreadOf(application, std::move(work));
}

void runOnThreadOf(QObject *context, std::function<void()> work)
{
    const std::lock_guard passing(handOver);
    // A lambda, not a std::function: the receiver must take the lock before it reads even
    // whether the work is empty.
    QMetaObject::invokeMethod(
        context,
        [work = std::move(work)] {
            {
                const std::lock_guard arrived(handOver);
            }
            work();
        },
        Qt::QueuedConnection);
}
