// The main window's handling of status records, with the real message port.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "gateway/RelayDispatch.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeCallControl.h"
#include "tests/support/HeadlessRelay.h"

namespace {

gateway::BridgeParts FakeParts() {
    gateway::BridgeParts parts;
    parts.capiInstalled = [] { return uint32_t{0}; };
    parts.makeControl = [](isdn::CCallOwner&) -> std::unique_ptr<isdn::CCallControl> {
        return std::make_unique<testsupport::FakeCallControl>();
    };
    return parts;
}

// The end of a call reported by a worker while this thread, before handling
// that record, starts a hang-up: the status that stands is the one of the
// record handled last, so the call shows as ended, not as being cleared.
TEST(RelayDispatch, StatusOfTheRecordHandledLastStands) {
    testsupport::CHeadlessRelay relay(FakeParts());
    gateway::CIsdnBridge& bridge = relay.Bridge();
    auto ended = std::async(std::launch::async, [&bridge] { bridge.NotifyStatus(1, 0x3490); });
    // The worker has stored its status and now waits for this thread.
    while (bridge.m_nStatus != 1) std::this_thread::yield();
    bridge.NotifyStatus(6, 0);
    ASSERT_TRUE(testsupport::RunUntil(
        [&] { return ended.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(bridge.m_nStatus, 1);
    EXPECT_EQ(bridge.m_wReason, 0x3490);
    EXPECT_EQ(relay.Statuses(), (std::vector<int>{6, 1}));
}

}  // namespace
