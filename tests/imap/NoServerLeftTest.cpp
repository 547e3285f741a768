// Run after every test that starts a server: a server that outlives its test keeps ports,
// processes and mail around on the machine of whoever ran the suite.
#include "DovecotServer.h"
#include "TestServerProcesses.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(TestServers, NoneIsLeftRunning)
{
    // A server being killed just now needs a moment to go.
    std::vector<std::string> left = testServersLeftRunning();
    for (int i = 0; i < 50 && !left.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        left = testServersLeftRunning();
    }
    std::string list;
    for (const std::string &process : left)
        list += process + '\n';
    EXPECT_TRUE(left.empty()) << "still running:\n" << list;
}
