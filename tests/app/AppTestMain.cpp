// Test main for the shell's tests: the program's own application object,
// with the per-user profile and the browser's storage in folders of their own.
#include <gtest/gtest.h>

#include <memory>

#include "app/QuorbelApp.h"
#include "tests/support/IsolatedUser.h"

int main(int argc, char** argv) {
    const std::unique_ptr<QTemporaryDir> home = testsupport::IsolateUser();
    testing::InitGoogleTest(&argc, argv);
    app::CQuorbelApp application(argc, argv, gateway::BridgeParts{});
    const int result = RUN_ALL_TESTS();
    return result;
}
