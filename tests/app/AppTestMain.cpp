// Test main for the shell's tests: the program's own application object,
// with the per-user profile and the browser's storage in folders of their own.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "app/QuorbelApp.h"

int main(int argc, char** argv) {
    // Headless unless told otherwise, also when the build lists the tests.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    QTemporaryDir home;
    const QByteArray root = home.path().toLocal8Bit();
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    testing::InitGoogleTest(&argc, argv);
    app::CQuorbelApp application(argc, argv, gateway::BridgeParts{});
    const int result = RUN_ALL_TESTS();
    return result;
}
