#include "platform/Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {
namespace {

// All events share one lock and one condition, so that a thread can wait for
// the first of several events without polling. Events are few and set rarely
// compared with the work around them, so the shared lock costs nothing.
std::mutex& EventLock() {
    static std::mutex lock;
    return lock;
}

std::condition_variable& EventChanged() {
    static std::condition_variable changed;
    return changed;
}

}  // namespace

CEvent::CEvent(bool manualReset, bool initiallySet)
    : m_bManualReset(manualReset), m_bSignalled(initiallySet) {}

void CEvent::Set() {
    {
        std::lock_guard guard(EventLock());
        m_bSignalled = true;
    }
    EventChanged().notify_all();
}

void CEvent::Reset() {
    std::lock_guard guard(EventLock());
    m_bSignalled = false;
}

bool CEvent::IsSet() const {
    std::lock_guard guard(EventLock());
    return m_bSignalled;
}

bool CEvent::TakeLocked() {
    if (!m_bSignalled) return false;
    if (!m_bManualReset) m_bSignalled = false;
    return true;
}

WaitResult CEvent::Wait(uint32_t timeoutMs) {
    return WaitForFirst({this}, timeoutMs) == 0 ? WaitResult::Signalled : WaitResult::Timeout;
}

int WaitForFirst(std::initializer_list<CEvent*> events, uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock guard(EventLock());
    for (;;) {
        int index = 0;
        for (CEvent* event : events) {
            if (event->TakeLocked()) return index;
            ++index;
        }
        if (timeoutMs == INFINITE) {
            EventChanged().wait(guard);
        } else if (EventChanged().wait_until(guard, deadline) == std::cv_status::timeout) {
            // One last look: the event may have been set just as time ran out.
            index = 0;
            for (CEvent* event : events) {
                if (event->TakeLocked()) return index;
                ++index;
            }
            return -1;
        }
    }
}

void Sleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace platform
