#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "isdn/CallControl.h"

namespace testsupport {

// A call control that records what the bridge asks of it.
class FakeCallControl : public isdn::CCallControl {
public:
    int StartCapi() override {
        ++starts;
        return 0;
    }
    bool Connect(const char* number, const char* ownMsn) override {
        std::lock_guard guard(lock);
        connects.emplace_back(std::string(number) + "|" + ownMsn);
        return true;
    }
    bool Hangup() override {
        ++hangups;
        return true;
    }
    uint32_t SendData(int32_t length, isdn::Block block) override {
        std::lock_guard guard(lock);
        frames.emplace_back(reinterpret_cast<const char*>(block.get()),
                            static_cast<size_t>(length));
        return static_cast<uint32_t>(length);
    }

    std::vector<std::string> Frames() {
        std::lock_guard guard(lock);
        return frames;
    }

    std::atomic<int> starts{0};
    std::atomic<int> hangups{0};
    std::mutex lock;
    std::vector<std::string> connects;
    std::vector<std::string> frames;
};

}  // namespace testsupport
