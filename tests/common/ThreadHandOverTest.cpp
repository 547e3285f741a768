#include "common/ThreadHandOver.h"

#include "support/TestTools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Runs the application's loop until done says so, or gives up after ten seconds.
template <typename Done> bool loopUntil(Done done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Plain, unguarded data on purpose: each side writes what the other reads after the
// hand-over, which the thread checker flags unless the hand-over orders the two.
TEST(ThreadHandOver, WorkFromAWorkerRunsOnTheApplicationThreadSeeingWhatWasWritten)
{
    constexpr int handOvers = 300;
    std::vector<int> preparedByWorker(handOvers, 0);
    std::vector<int> arrived;
    bool allOnTheApplicationThread = true;
    QThread *const applicationThread = QCoreApplication::instance()->thread();

    std::atomic<int> delivered = 0;
    std::atomic<bool> givenUp = false;
    std::thread worker([&] {
        for (int i = 0; i < handOvers && !givenUp.load(); ++i) {
            // One at a time, so that each is read while it is fresh: hand-overs queued up
            // behind one already received would be ordered by that one's lock.
            while (delivered.load() < i && !givenUp.load())
                std::this_thread::yield();
            preparedByWorker[i] = i + 1;
            auto arrive = [&, i] {
                allOnTheApplicationThread &= QThread::currentThread() == applicationThread;
                arrived.push_back(preparedByWorker[i]);
                delivered.store(i + 1);
            };
            if (i % 2 == 0)
                runOnApplicationThread(arrive);
            else
                runOnThreadOf(QCoreApplication::instance(), arrive);
        }
    });
    const bool allArrived = loopUntil([&] { return delivered.load() == handOvers; });
    givenUp.store(true);
    worker.join();

    ASSERT_TRUE(allArrived);
    EXPECT_TRUE(allOnTheApplicationThread);
    for (int i = 0; i < handOvers; ++i)
        ASSERT_EQ(arrived[i], i + 1) << "hand-over " << i;
}

TEST(ThreadHandOver, BackgroundWorkRunsOffTheApplicationThreadAndItsResultComesBack)
{
    std::vector<int> input{1, 2, 3, 4};
    int sum = 0;
    bool ranInBackground = false;
    bool back = false;
    QThread *const applicationThread = QCoreApplication::instance()->thread();

    runInBackground([&] {
        ranInBackground = QThread::currentThread() != applicationThread;
        int total = 0;
        for (int value : input)
            total += value;
        runOnApplicationThread([&, total] {
            sum = total;
            back = true;
        });
    });

    ASSERT_TRUE(loopUntil([&] { return back; }));
    EXPECT_TRUE(ranInBackground);
    EXPECT_EQ(sum, 10);
}

} // namespace
