#include "sim/LinePacer.h"

#include <algorithm>

namespace sim {

CLinePacer::TimePoint CLinePacer::Schedule(size_t bytes, TimePoint ready) {
    const TimePoint start = std::max(m_free, ready);
    if (m_dwRate == 0) return start;
    const auto bits = static_cast<long long>(bytes) * 8;
    const auto duration = std::chrono::nanoseconds(bits * 1000000000LL / m_dwRate);
    m_free = start + std::chrono::duration_cast<Clock::duration>(duration);
    return m_free;
}

void CLinePacer::Delivered(TimePoint due, TimePoint now) {
    // Timer wake-ups come a little late; only a real hold-up restarts the line.
    constexpr auto jitter = std::chrono::milliseconds(2);
    m_free = std::max({m_free, due, now - jitter});
}

}  // namespace sim
