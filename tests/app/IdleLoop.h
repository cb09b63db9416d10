#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace apptest {

// Runs a real event loop, which falls idle between batches of events as the
// program's does, until the condition holds or the generous bound passes.
inline bool RunIdleUntil(const std::function<bool()>& condition, int boundMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > boundMs) return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

}  // namespace apptest
