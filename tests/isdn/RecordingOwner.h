#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <vector>

#include "isdn/CallOwner.h"

namespace isdntest {

// One status report of the control to its owner.
struct Status {
    int code;
    uint16_t reason;
    bool operator==(const Status&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Status& s) {
    return out << "{" << s.code << ", 0x" << std::hex << s.reason << std::dec << "}";
}

// The owner of a control under test: keeps every status reported, from any
// thread, and offers the window the test sets.
class RecordingOwner : public isdn::CCallOwner {
public:
    virtual ~RecordingOwner() = default;
    void NotifyStatus(int status, uint16_t reason) override {
        std::lock_guard guard(m_lock);
        m_statuses.push_back({status, reason});
    }
    platform::CWnd* MainWindow() const override { return window; }

    std::vector<Status> Statuses() const {
        std::lock_guard guard(m_lock);
        return m_statuses;
    }
    bool Has(Status status) const {
        for (const Status& s : Statuses())
            if (s == status) return true;
        return false;
    }
    void Clear() {
        std::lock_guard guard(m_lock);
        m_statuses.clear();
    }

    platform::CWnd* window = nullptr;

private:
    mutable std::mutex m_lock;
    std::vector<Status> m_statuses;
};

}  // namespace isdntest
