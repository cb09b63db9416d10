#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// Polls a condition until it holds or the bound passes, without an event
// loop; generous by default so that a loaded machine does not fail the test.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace testsupport
