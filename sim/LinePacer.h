#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace sim {

// One direction of the B-channel: blocks cross it one after another at the
// line rate, measured on the monotonic clock so that wall-clock changes
// cannot speed up or stall the line.
class CLinePacer {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    explicit CLinePacer(uint32_t bitsPerSecond) : m_dwRate(bitsPerSecond) {}

    // When a block of the given size, ready to go at `ready`, has arrived.
    TimePoint Schedule(size_t bytes, TimePoint ready);
    // The block scheduled to arrive at `due` was handed on at `now`; a block
    // held back by the receiver's window leaves the line idle meanwhile.
    void Delivered(TimePoint due, TimePoint now);
    void Reset() { m_free = TimePoint{}; }

private:
    uint32_t m_dwRate;  // 0 is unlimited
    TimePoint m_free{};
};

}  // namespace sim
