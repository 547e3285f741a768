#include "OwnNetwork.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // First of all: a process with threads can no longer change its namespaces. Where the
    // machine gives none, the cases skip (listing them needs none).
    enterOwnNetwork();
    testing::InitGoogleTest(&argc, argv);
    // Before the application: what it starts may look at the session bus already.
    TestEnvironment environment;
    QCoreApplication app(argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new ResetBeforeEveryCase(environment));
    return exitCodeFor(RUN_ALL_TESTS());
}
