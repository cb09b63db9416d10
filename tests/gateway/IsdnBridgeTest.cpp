#include <gtest/gtest.h>

#include <memory>

#include "gateway/IsdnBridge.h"
#include "gateway/StatusEvent.h"
#include "platform/WinApp.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeCallControl.h"

namespace {

using gateway::CIsdnBridge;
using testsupport::FakeCallControl;

// A main window that keeps the status records it is sent.
class StatusWindow : public platform::CWnd {
public:
    ~StatusWindow() override { ClosePort(); }
    std::vector<int> statuses;

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT& record) override {
        const auto* bytes = static_cast<const uint8_t*>(record.lpData);
        if (record.cbData == 12 && bytes[0] == gateway::RELAY_STATUS) {
            statuses.push_back(gateway::StatusEvent::StatusOf(bytes));
        }
        return 1;
    }
    void OnMessage(unsigned) override {}
};

struct BridgeFixture {
    explicit BridgeFixture(uint32_t capiInstalled = 0, uint32_t idleMs = 600000) {
        app.SetMainWindow(&window);
        gateway::BridgeParts parts;
        parts.capiInstalled = [capiInstalled] { return capiInstalled; };
        parts.makeControl = [this](isdn::CCallOwner&) {
            auto made = std::make_unique<FakeCallControl>();
            control = made.get();
            return std::unique_ptr<isdn::CCallControl>(std::move(made));
        };
        parts.idleTimeoutMs = idleMs;
        bridge = std::make_unique<CIsdnBridge>(&app, std::move(parts));
    }

    // Puts a block into the outgoing queue as the browser side would.
    void Put(const std::string& frame) {
        isdn::Block block(new uint8_t[frame.size()]);
        std::copy(frame.begin(), frame.end(), block.get());
        bridge->m_OutQueue.Put(static_cast<int32_t>(frame.size()), std::move(block));
    }

    platform::CWinApp app;
    StatusWindow window;
    FakeCallControl* control = nullptr;
    std::unique_ptr<CIsdnBridge> bridge;
};

TEST(IsdnBridge, PresenceTestDecidesTheFirstStatus) {
    struct Case {
        uint32_t installed;
        int status;
        const char* text;
    };
    for (const Case& c :
         {Case{0x1109, 0, "Fehler"}, Case{0, 1, "Bereit"}, Case{0x1008, 1, "Bereit"}}) {
        BridgeFixture fixture(c.installed);
        std::string text;
        EXPECT_EQ(fixture.bridge->GetStatusText(text), c.status) << c.installed;
        EXPECT_EQ(text, c.text) << c.installed;
    }
}

TEST(IsdnBridge, StatusTexts) {
    struct Case {
        int status;
        uint16_t reason;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, "Fehler"},
        {1, 0, "Bereit"},
        {1, 0x3490, "Capi: 0x3490"},
        {1, 0x34a9, "Capi: 0x34a9"},
        {2, 0, "Wähle ...  1234"},
        {3, 0, "Verbunden  1234"},
        {4, 0, "Verbindung fehlgeschlagen  1234"},
        {5, 0, "Verbinde ...  1234"},
        {6, 0, "Verbindungstrennung  1234"},
        {9, 0, "Default"},
        {-1, 0, "Default"},
    };
    BridgeFixture fixture;
    fixture.bridge->m_strNumber = "1234";
    for (const Case& c : cases) {
        fixture.bridge->NotifyStatus(c.status, c.reason);
        std::string text;
        EXPECT_EQ(fixture.bridge->GetStatusText(text), c.status);
        EXPECT_EQ(text, c.text) << c.status;
    }
}

TEST(IsdnBridge, NotifyStatusReachesTheWindowOrNothingWithoutOne) {
    BridgeFixture fixture;
    fixture.bridge->NotifyStatus(2, 0);
    EXPECT_EQ(fixture.window.statuses, std::vector<int>{2});

    // Without a main window the report is lost entirely.
    fixture.app.SetMainWindow(nullptr);
    fixture.bridge->NotifyStatus(3, 0x3490);
    std::string text;
    EXPECT_EQ(fixture.bridge->GetStatusText(text), 2);
    EXPECT_EQ(fixture.bridge->m_wReason, 0);
}

TEST(IsdnBridge, StartCallCreatesTheControlOnceAndIsRefusedWhileRelaying) {
    BridgeFixture fixture;
    fixture.bridge->m_wReason = 0x3490;
    EXPECT_TRUE(fixture.bridge->StartCall("0301234", nullptr));
    FakeCallControl* first = fixture.control;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(fixture.bridge->m_strOwnMsn, "");
    EXPECT_EQ(fixture.bridge->m_wReason, 0);
    EXPECT_TRUE(fixture.bridge->StartCall("555", "12"));
    EXPECT_EQ(fixture.control, first);
    EXPECT_EQ(first->starts, 2);
    EXPECT_EQ(first->connects, (std::vector<std::string>{"0301234|", "555|12"}));

    fixture.bridge->m_bRelayActive = 1;
    fixture.bridge->m_wReason = 0x3491;
    EXPECT_FALSE(fixture.bridge->StartCall("999", "7"));
    EXPECT_EQ(fixture.bridge->m_strNumber, "555");
    EXPECT_EQ(fixture.bridge->m_strOwnMsn, "12");
    EXPECT_EQ(fixture.bridge->m_wReason, 0x3491);
    EXPECT_EQ(first->connects.size(), 2u);
}

TEST(IsdnBridge, StartCallIsRefusedWhileACallIsSetUpOrUp) {
    BridgeFixture fixture;
    for (int status = 0; status <= 7; ++status) {
        fixture.bridge->m_nStatus = status;
        fixture.bridge->m_strNumber = "running";
        const bool expected = status < 2 || status > 5;
        EXPECT_EQ(fixture.bridge->StartCall("1", ""), expected) << status;
        // A refused start leaves the running call's number shown.
        EXPECT_EQ(fixture.bridge->m_strNumber, expected ? "1" : "running") << status;
    }
}

TEST(IsdnBridge, EndCallHangsUpOnlyWhileACallIsSetUpOrUp) {
    BridgeFixture fixture;
    fixture.bridge->StartCall("1", "");
    for (int status = 0; status <= 7; ++status) {
        fixture.control->hangups = 0;
        fixture.bridge->m_nStatus = status;
        fixture.bridge->EndCall();
        const bool expected = status >= 2 && status <= 5;
        EXPECT_EQ(fixture.control->hangups, expected ? 1 : 0) << status;
    }
}

TEST(IsdnBridge, SenderDropsBlocksWhileTheRelayIsOffAndNeverTimesOut) {
    BridgeFixture fixture(0, 20);
    fixture.bridge->StartCall("1", "");
    fixture.Put(std::string("\x00GET", 4));
    fixture.Put(std::string("\x01", 1));
    // Relay off: the blocks are dropped, and with the idle time far shorter
    // than this look no hang-up may follow either. (A check of absence: the
    // bound only limits how long we look.)
    EXPECT_FALSE(testsupport::RunUntil(
        [&] { return !fixture.control->Frames().empty() || fixture.control->hangups > 0; }, 300));
}

TEST(IsdnBridge, RelayedCallIsHungUpAfterTheIdleTime) {
    BridgeFixture fixture(0, 50);
    fixture.bridge->StartCall("1", "");
    fixture.bridge->m_bRelayActive = 1;
    // Before the first block there is no time-out at all.
    fixture.Put(std::string("\x01", 1));
    ASSERT_TRUE(testsupport::RunUntil([&] { return fixture.control->hangups >= 1; }));
    EXPECT_EQ(fixture.control->Frames().size(), 1u);
}

TEST(IsdnBridge, IdleTimeOutWhileTheRelayIsOffOnlyMakesTheNextWaitUnlimited) {
    BridgeFixture fixture(0, 200);
    fixture.bridge->StartCall("1", "");
    fixture.bridge->m_bRelayActive = 1;
    fixture.Put(std::string("\x01", 1));
    ASSERT_TRUE(testsupport::RunUntil([&] { return fixture.control->Frames().size() == 1; }));
    fixture.bridge->m_bRelayActive = 0;
    // The pending 200 ms wait runs out with the relay off: no hang-up, and the
    // thread waits without a time-out from then on. Wait well past the time
    // and prove the thread is alive by a relayed block afterwards.
    ASSERT_TRUE(testsupport::RunUntil([] { return false; }, 600) == false);
    EXPECT_EQ(fixture.control->hangups, 0);
    fixture.bridge->m_bRelayActive = 1;
    fixture.Put(std::string("\x00y", 2));
    ASSERT_TRUE(testsupport::RunUntil([&] { return fixture.control->Frames().size() == 2; }));
}

TEST(IsdnBridge, DestructionWhileTheSenderWaitsEndsPromptly) {
    BridgeFixture fixture;
    fixture.bridge->StartCall("1", "");
    fixture.bridge->m_bRelayActive = 1;
    fixture.Put(std::string("\x01", 1));
    ASSERT_TRUE(testsupport::RunUntil([&] { return fixture.control->Frames().size() == 1; }));
    // The sender now waits with the ten-minute time-out; destruction must not.
    fixture.bridge.reset();
    SUCCEED();
}

}  // namespace
