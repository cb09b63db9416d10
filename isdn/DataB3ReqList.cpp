#include "isdn/DataB3ReqList.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace isdn {

void CDataB3ReqList::Append(uint16_t messageNumber, Block data) {
    {
        std::lock_guard guard(m_lock);
        m_records.push_back({messageNumber, std::move(data)});
    }
    m_appended.notify_all();
}

bool CDataB3ReqList::TakeLocked(uint16_t messageNumber, std::list<CAPIDATAREQ>& taken) {
    const auto found = std::find_if(
        m_records.begin(), m_records.end(),
        [messageNumber](const CAPIDATAREQ& r) { return r.wMessageNumber == messageNumber; });
    if (found == m_records.end()) return false;
    taken.splice(taken.begin(), m_records, found);
    return true;
}

bool CDataB3ReqList::FindAndRemove(uint16_t messageNumber) {
    std::list<CAPIDATAREQ> removed;  // its block is freed outside the lock
    std::lock_guard guard(m_lock);
    return TakeLocked(messageNumber, removed);
}

bool CDataB3ReqList::WaitAndRemove(uint16_t messageNumber, uint32_t waitMs) {
    std::list<CAPIDATAREQ> removed;  // its block is freed outside the lock
    std::unique_lock guard(m_lock);
    return m_appended.wait_for(guard, std::chrono::milliseconds(waitMs),
                               [&] { return TakeLocked(messageNumber, removed); });
}

void CDataB3ReqList::Clear() {
    std::list<CAPIDATAREQ> removed;
    {
        std::lock_guard guard(m_lock);
        removed.swap(m_records);
    }
}

size_t CDataB3ReqList::Count() const {
    std::lock_guard guard(m_lock);
    return m_records.size();
}

}  // namespace isdn
