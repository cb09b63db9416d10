#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace testsupport {

// Runs the event loop until the condition holds or the bound passes; the
// bound is generous so that a loaded machine does not fail the test.
inline bool RunUntil(const std::function<bool()>& condition, int boundMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > boundMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace testsupport
