// main() of the user-interface tests: a QApplication and the application
// object live for the whole run, as in the program.
#include "ui/Application.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs the binary outside CTest's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    TApplication application;
    return RUN_ALL_TESTS();
}
