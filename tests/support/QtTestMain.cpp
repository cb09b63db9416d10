// Test main for tests that need a Qt application object and an event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "tests/support/IsolatedUser.h"

int main(int argc, char** argv) {
    const std::unique_ptr<QTemporaryDir> home = testsupport::IsolateUser();
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
