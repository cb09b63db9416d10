#include "isdn/DataB3ReqList.h"

#include <algorithm>
#include <utility>

namespace isdn {

void CDataB3ReqList::Append(uint16_t messageNumber, Block data) {
    std::lock_guard guard(m_lock);
    m_records.push_back({messageNumber, std::move(data)});
}

bool CDataB3ReqList::FindAndRemove(uint16_t messageNumber) {
    std::list<CAPIDATAREQ> removed;
    {
        std::lock_guard guard(m_lock);
        const auto found = std::find_if(
            m_records.begin(), m_records.end(),
            [messageNumber](const CAPIDATAREQ& r) { return r.wMessageNumber == messageNumber; });
        if (found == m_records.end()) return false;
        removed.splice(removed.begin(), m_records, found);
    }
    // The block is freed here, outside the lock.
    return true;
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
