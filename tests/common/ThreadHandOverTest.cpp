#include "common/ThreadHandOver.h"

#include "support/TestTools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <thread>
#include <vector>

namespace {

// Runs the application's loop until done says so, or fails after a few seconds.
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
TEST(ThreadHandOver, WorkFromAWorkerRunsOnTheApplicationThreadInTheOrderSentSeeingWhatWasWritten)
{
    constexpr int handOvers = 300;
    std::vector<int> preparedByWorker(handOvers, 0);
    std::vector<int> arrived;
    bool allOnTheApplicationThread = true;
    QThread *const applicationThread = QCoreApplication::instance()->thread();

    std::thread worker([&] {
        for (int i = 0; i < handOvers; ++i) {
            preparedByWorker[i] = i + 1;
            if (i % 2 == 0)
                runOnApplicationThread([&, i] {
                    allOnTheApplicationThread &= QThread::currentThread() == applicationThread;
                    arrived.push_back(preparedByWorker[i]);
                });
            else
                runOnThreadOf(QCoreApplication::instance(), [&, i] {
                    allOnTheApplicationThread &= QThread::currentThread() == applicationThread;
                    arrived.push_back(preparedByWorker[i]);
                });
        }
    });
    // The loop runs while the worker still sends: joining first would order everything.
    const bool allArrived = loopUntil([&] { return int(arrived.size()) == handOvers; });
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
