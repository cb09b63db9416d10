#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/Event.h"

namespace isdn {

// A heap block passed between threads; ownership travels with it.
using Block = std::unique_ptr<uint8_t[]>;

// First-in-first-out queue of (length, block) entries from any number of
// producers to one consumer thread, which waits with a time-out. Destroying
// (or clearing) the queue releases a consumer blocked in Get.
class CBlockQueue {
public:
    CBlockQueue() = default;
    CBlockQueue(const CBlockQueue&) = delete;
    CBlockQueue& operator=(const CBlockQueue&) = delete;
    ~CBlockQueue();

    // Appends an entry; a null block or a length of 0 or less is ignored.
    int Put(int32_t length, Block block);

    // Waits up to timeoutMs (or platform::INFINITE) for an entry. Returns its
    // length (> 0) and hands over its block; 0 when the queue was stopped;
    // -1 when the time-out passed.
    int32_t Get(uint32_t timeoutMs, Block& block);

    // Discards every entry with its block and releases the consumer.
    void Clear();

    // How long the destructor waits at most for a released consumer to leave
    // Get before the queue's lock and events go.
    static constexpr uint32_t kStopGraceMs = 5000;

private:
    int32_t TakeEntry(uint32_t timeoutMs, Block& block);

    struct Entry {
        int32_t length;
        Block block;
    };

    std::mutex m_lock;
    std::deque<Entry> m_entries;
    platform::CEvent m_dataEvent{false, false};
    platform::CEvent m_stopEvent{false, false};
    // Consumers inside Get; the last thing Get touches.
    std::atomic<int> m_nGetters{0};
};

}  // namespace isdn
