#include "common/ThreadHandOver.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <memory>
#include <mutex>

namespace {

// Held while the work is handed to Qt, and taken by the receiving thread before it starts.
std::function<void()> behindLock(std::function<void()> work,
                                 const std::shared_ptr<std::mutex> &handOver)
{
    return [handOver, work = std::move(work)] {
        {
            const std::lock_guard arrived(*handOver);
        }
        work();
    };
}

} // namespace

void runOnPool(std::function<void()> work)
{
    const auto handOver = std::make_shared<std::mutex>();
    std::function<void()> task = behindLock(std::move(work), handOver);
    const std::lock_guard passing(*handOver);
    QThreadPool::globalInstance()->start(std::move(task));
}

void runOnApplicationThread(std::function<void()> work)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    const auto handOver = std::make_shared<std::mutex>();
    std::function<void()> call = behindLock(std::move(work), handOver);
    const std::lock_guard passing(*handOver);
    QMetaObject::invokeMethod(application, std::move(call), Qt::QueuedConnection);
}
