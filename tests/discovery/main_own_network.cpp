#include "OwnNetwork.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // First of all: a process with threads can no longer change its namespaces.
    enterOwnNetwork();
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    TestEnvironment environment;
    testing::UnitTest::GetInstance()->listeners().Append(new ResetBeforeEveryCase(environment));
    return RUN_ALL_TESTS();
}
