// main() of the user-interface tests: a QApplication and the application
// object live for the whole run, as in the program.
#include "ui/Application.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs the binary outside CTest's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user's own data folder (the station's queue of waiting scans, say)
    // is never touched: the run has one of its own, or the one a parent test
    // names for the run it starts.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", qEnvironmentVariableIsSet("EXP_TEST_DATA_HOME") ? qgetenv("EXP_TEST_DATA_HOME")
                                                                              : data.path().toLocal8Bit());
    QApplication qt(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    TApplication application;
    return RUN_ALL_TESTS();
}
