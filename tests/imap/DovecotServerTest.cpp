// The tests' own server goes whole when it is stopped, killed or destroyed: a leftover
// process would keep running on the machine of whoever ran the suite.
#include "DovecotServer.h"
#include "TestServerProcesses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

bool marked(pid_t pid)
{
    const std::string prefix = std::to_string(pid) + ' ';
    const std::vector<std::string> left = testServersLeftRunning();
    return std::any_of(left.begin(), left.end(),
                       [&](const std::string &process) { return process.rfind(prefix, 0) == 0; });
}

TEST(DovecotServerTest, EveryProcessOfItGoesWithIt)
{
    pid_t last = 0;
    {
        DovecotServer server;
        const pid_t first = server.processGroup();
        ASSERT_GT(first, 0);
        const std::vector<pid_t> members = processesOfGroup(first);
        EXPECT_FALSE(members.empty());
        for (const pid_t pid : members)
            EXPECT_TRUE(marked(pid)) << pid << " would escape the check after the tests";

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
