#pragma once

#include <cstdint>
#include <initializer_list>

namespace platform {

// Wait for ever.
inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;

enum class WaitResult { Signalled, Timeout };

// An event in the manner of a Win32 event object: manual-reset events stay
// signalled until reset; auto-reset events release one waiter and reset.
// Thread safe; may be set from any thread.
class CEvent {
public:
    explicit CEvent(bool manualReset = false, bool initiallySet = false);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
    ~CEvent() = default;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits at most timeoutMs (or INFINITE) for the event.
    WaitResult Wait(uint32_t timeoutMs = INFINITE);

private:
    friend int WaitForFirst(std::initializer_list<CEvent*> events, uint32_t timeoutMs);
    bool TakeLocked();

    const bool m_bManualReset;
    bool m_bSignalled;
};

// Waits until the first of the events is signalled (an auto-reset one is
// consumed) and returns its index, or -1 when the time-out passed first.
// Events earlier in the list win when several are signalled.
int WaitForFirst(std::initializer_list<CEvent*> events, uint32_t timeoutMs);

// Pauses the calling thread (Sleep); 0 yields the processor.
void Sleep(uint32_t milliseconds);

}  // namespace platform
