#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/Window.h"
#include "tests/support/EventLoop.h"

namespace {

using platform::COPYDATASTRUCT;

// A window that records what reaches it, and on which thread.
class RecordingWindow : public platform::CWnd {
public:
    ~RecordingWindow() override { ClosePort(); }

    std::vector<int> seen;  // GUI thread only
    std::atomic<int> handled{0};
    std::thread::id handlerThread;

protected:
    intptr_t OnCopyData(const COPYDATASTRUCT& record) override {
        handlerThread = std::this_thread::get_id();
        // The sender's data must still be valid while the handler runs.
        const int value = *static_cast<const int*>(record.lpData);
        seen.push_back(value);
        ++handled;
        return value * 2;
    }
    void OnMessage(unsigned message) override {
        seen.push_back(-static_cast<int>(message));
        ++handled;
    }
};

COPYDATASTRUCT Record(const int& value) {
    return {1, sizeof value, &value};
}

TEST(WindowPort, SendFromWorkerRunsOnTheWindowThreadAndWaits) {
    RecordingWindow window;
    auto sent = std::async(std::launch::async, [&window] {
        const int value = 21;
        return window.SendCopyData(Record(value));
    });
    ASSERT_TRUE(testsupport::RunUntil(
        [&] { return sent.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(sent.get(), 42);
    EXPECT_EQ(window.handlerThread, std::this_thread::get_id());
}

TEST(WindowPort, SendOnTheWindowThreadIsHandledInsideTheCall) {
    RecordingWindow window;
    const int value = 5;
    EXPECT_EQ(window.SendCopyData(Record(value)), 10);
    EXPECT_EQ(window.handled, 1);
}

TEST(WindowPort, PostsAndSendsKeepTheirOrder) {
    RecordingWindow window;
    auto worker = std::async(std::launch::async, [&window] {
        window.PostMessage(platform::WM_USER);
        const int value = 7;
        window.SendCopyData(Record(value));
        window.PostMessage(platform::WM_USER + 1);
    });
    ASSERT_TRUE(testsupport::RunUntil([&] { return window.handled == 3; }));
    worker.get();
    EXPECT_EQ(window.seen, (std::vector<int>{-static_cast<int>(platform::WM_USER), 7,
                                             -static_cast<int>(platform::WM_USER + 1)}));
}

TEST(WindowPort, SendToAClosedWindowReturnsAtOnce) {
    RecordingWindow window;
    window.ClosePort();
    const int value = 1;
    auto sent = std::async(std::launch::async, [&] { return window.SendCopyData(Record(value)); });
    // No event loop runs here: only a refusal can end the send.
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(sent.get(), 0);
    EXPECT_FALSE(window.PostMessage(platform::WM_USER));
    EXPECT_EQ(window.handled, 0);
}

TEST(WindowPort, WindowDestroyedWhileAWorkerWaitsLetsTheWorkerGo) {
    auto window = std::make_unique<RecordingWindow>();
    std::atomic<bool> sending{false};
    auto sent = std::async(std::launch::async, [&] {
        const int value = 3;
        sending = true;
        return window->SendCopyData(Record(value));
    });
    while (!sending) std::this_thread::yield();
    // Give the send a moment to be queued, without running the event loop.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    window.reset();
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(sent.get(), 0);
    // The abandoned delivery must not run on the destroyed window.
    QCoreApplication::processEvents();
}

TEST(WindowPort, EndOfTheEventLoopLetsAWaitingWorkerGo) {
    RecordingWindow window;
    std::promise<intptr_t> result;
    std::thread worker;
    // Quit the loop before the queued send can be delivered: the worker must
    // not stay blocked.
    QTimer::singleShot(0, [&] {
        worker = std::thread([&] {
            const int value = 9;
            result.set_value(window.SendCopyData(Record(value)));
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    worker.join();
}

}  // namespace
