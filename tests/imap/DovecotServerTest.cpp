// The tests' own server goes whole when it is stopped, killed or destroyed: a leftover
// process would keep running on the machine of whoever ran the suite.
#include "DovecotServer.h"
#include "TestServerProcesses.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DovecotServerTest, EveryProcessOfItGoesWithIt)
{
    pid_t last = 0;
    {
        DovecotServer server;
        const pid_t first = server.processGroup();
        ASSERT_GT(first, 0);
        EXPECT_FALSE(processesOfGroup(first).empty());
        // A child that ends while the check runs (slower under the sanitizers) is no leftover.
        EXPECT_EQ(groupMembersTheCheckMisses(first), std::vector<pid_t>())
            << "would escape the check after the tests";

        server.start(); // running already: no second server over the first
        EXPECT_EQ(server.processGroup(), first);

        server.stop();
        EXPECT_TRUE(processesOfGroup(first).empty());
        server.start();
        last = server.processGroup();
        server.kill();
        EXPECT_TRUE(processesOfGroup(last).empty());
        server.start();
        last = server.processGroup();
    }
    EXPECT_TRUE(processesOfGroup(last).empty());
}

} // namespace
