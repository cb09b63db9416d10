#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace testsupport {

// Runs one step of the event loop at a time until the condition holds or the
// bound passes; the bound is generous so that a loaded machine does not fail
// the test.
inline bool RunStepsUntil(const std::function<bool()>& condition, int boundMs,
                          const std::function<void()>& step) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > boundMs) return false;
        step();
    }
    return true;
}

// Handles the events that are due, again and again.
inline bool RunUntil(const std::function<bool()>& condition, int boundMs = 20000) {
    return RunStepsUntil(condition, boundMs,
                         [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}

// Runs a real event loop, which falls idle between batches of events as the
// program's does.
inline bool RunIdleUntil(const std::function<bool()>& condition, int boundMs = 20000) {
    return RunStepsUntil(condition, boundMs, [] {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    });
}

}  // namespace testsupport
