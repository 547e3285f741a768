#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    TestEnvironment environment;
    testing::UnitTest::GetInstance()->listeners().Append(new ResetBeforeEveryCase(environment));
    return RUN_ALL_TESTS();
}
