#include "support/ArmedBoxes.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Widget tests run without a display, also when test discovery starts the program.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    // Before the application: what it starts may look at the session bus already.
    TestEnvironment environment;
    QApplication app(argc, argv);
    testing::TestEventListeners &listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new ResetBeforeEveryCase(environment));
    listeners.Append(new ArmedBoxes::FailUnarmedBeforeEveryCase);
    return exitCodeFor(RUN_ALL_TESTS());
}
