#include "isdn/BlockQueue.h"

namespace isdn {

CBlockQueue::~CBlockQueue() {
    Clear();
    // A fixed grace period is not enough on a loaded machine: wait until a
    // released consumer has really left Get, so that it never touches a
    // destroyed lock.
    for (uint32_t waited = 0; m_nGetters.load() > 0 && waited < kStopGraceMs; ++waited) {
        platform::Sleep(1);
    }
}

int CBlockQueue::Put(int32_t length, Block block) {
    if (!block || length <= 0) return 0;
    std::lock_guard guard(m_lock);
    m_entries.push_back({length, std::move(block)});
    // Set under the lock, so that a consumer deciding to reset the event
    // cannot overtake this entry and lose its wake-up.
    m_dataEvent.Set();
    return 0;
}

int32_t CBlockQueue::Get(uint32_t timeoutMs, Block& block) {
    ++m_nGetters;
    const int32_t result = TakeEntry(timeoutMs, block);
    --m_nGetters;
    return result;
}

int32_t CBlockQueue::TakeEntry(uint32_t timeoutMs, Block& block) {
    int32_t result = 0;
    switch (platform::WaitForFirst({&m_dataEvent, &m_stopEvent}, timeoutMs)) {
        case 0: {
            std::lock_guard guard(m_lock);
            // The data event can be found set with the list empty only when a
            // Put raced with Clear; that counts as stopped.
            if (!m_entries.empty()) {
                result = m_entries.front().length;
                block = std::move(m_entries.front().block);
                m_entries.pop_front();
            }
            break;
        }
        case -1:
            result = -1;
            break;
        default:
            result = 0;
            break;
    }
    // The data event resets when a wait takes it: set it again while entries
    // remain so that the consumer takes them one after another.
    std::lock_guard guard(m_lock);
    if (m_entries.empty()) {
        m_dataEvent.Reset();
    } else {
        m_dataEvent.Set();
    }
    return result;
}

void CBlockQueue::Clear() {
    {
        std::lock_guard guard(m_lock);
        m_dataEvent.Reset();
        m_entries.clear();
    }
    m_stopEvent.Set();
}

}  // namespace isdn
