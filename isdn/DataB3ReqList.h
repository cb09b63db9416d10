#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>

#include "isdn/BlockQueue.h"

namespace isdn {

// One block sent with DATA_B3_REQ and not yet confirmed. The message number
// is also the request's data handle.
struct CAPIDATAREQ {
    uint16_t wMessageNumber = 0;
    Block data;
};

// The blocks awaiting their DATA_B3_CONF, in the order sent. The sender
// thread appends and the receive thread finds and removes; one lock keeps
// the two apart.
class CDataB3ReqList {
public:
    CDataB3ReqList() = default;
    CDataB3ReqList(const CDataB3ReqList&) = delete;
    CDataB3ReqList& operator=(const CDataB3ReqList&) = delete;

    void Append(uint16_t messageNumber, Block data);
    // Removes the first record from the head with this message number and
    // releases its block; false when there is none.
    bool FindAndRemove(uint16_t messageNumber);
    // The same, waiting up to waitMs for the record to be appended: a
    // confirmation can arrive before the sender has recorded its block.
    bool WaitAndRemove(uint16_t messageNumber, uint32_t waitMs);
    // Removes every record and releases its block.
    void Clear();
    size_t Count() const;

private:
    // Takes the record out under the lock held by the caller.
    bool TakeLocked(uint16_t messageNumber, std::list<CAPIDATAREQ>& taken);

    mutable std::mutex m_lock;
    std::condition_variable m_appended;
    std::list<CAPIDATAREQ> m_records;
};

}  // namespace isdn
