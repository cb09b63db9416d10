// Test main for tests that need a Qt application object and an event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
    // The per-user profile of a test run lives in a folder of its own.
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
