#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace testsupport {

// A test run must neither need a display nor see or change the user's own
// profile, browser storage or cache. Headless unless the environment says
// otherwise (also when the build only lists the tests); the per-user folders
// lie in the returned temporary folder, which the caller keeps for the run.
[[nodiscard]] inline std::unique_ptr<QTemporaryDir> IsolateUser() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    auto home = std::make_unique<QTemporaryDir>();
    const QByteArray root = home->path().toLocal8Bit();
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    return home;
}

}  // namespace testsupport
