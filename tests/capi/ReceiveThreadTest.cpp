// Registration life cycle and the receive thread, against a fake library.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/CapiOperations.h"
#include "tests/capi/HexBytes.h"
#include "tests/capi/RecordingOperations.h"
#include "tests/support/FakeCapiLibrary.h"
#include "tests/support/WaitUntil.h"

namespace capi::test {
namespace {

using testsupport::FakeCapiLibrary;
using testsupport::WaitUntil;

const Bytes kConnectB3Ind = FromHex("0d 00 42 00 82 82 0e 00 01 02 01 00 00");
const Bytes kConnectB3ActiveInd = FromHex("0d 00 42 00 83 82 0f 00 01 02 01 00 00");

// ------------------------------------------------------------------ Unbound

using Remove = void (*)(CapiEntryPoints&);

struct MissingEntryCase {
    const char* name;
    Remove remove;
};

const MissingEntryCase kMissingEntries[] = {
    {"Register", [](CapiEntryPoints& t) { t.registerApplication = nullptr; }},
    {"Release", [](CapiEntryPoints& t) { t.release = nullptr; }},
    {"PutMessage", [](CapiEntryPoints& t) { t.putMessage = nullptr; }},
    {"GetMessage", [](CapiEntryPoints& t) { t.getMessage = nullptr; }},
    {"WaitForMessage", [](CapiEntryPoints& t) { t.waitForMessage = nullptr; }},
    {"GetManufacturer", [](CapiEntryPoints& t) { t.getManufacturer = nullptr; }},
    {"GetVersion", [](CapiEntryPoints& t) { t.getVersion = nullptr; }},
    {"GetSerialNumber", [](CapiEntryPoints& t) { t.getSerialNumber = nullptr; }},
    {"GetProfile", [](CapiEntryPoints& t) { t.getProfile = nullptr; }},
    {"Installed", [](CapiEntryPoints& t) { t.isInstalled = nullptr; }},
};

void ExpectUnbound(CCapiOperations& capi) {
    EXPECT_FALSE(capi.IsBound());
    EXPECT_EQ(capi.CapiInstalled(), Info::NotInstalled);
    EXPECT_EQ(capi.CapiRegister(), Info::NotInstalled);
    EXPECT_EQ(capi.CapiRelease(), Info::NotInstalled);
    EXPECT_EQ(capi.CapiWaitForSignal(), Info::NotInstalled);
    uint8_t* message = nullptr;
    EXPECT_EQ(capi.CapiGetMessage(&message), Info::NotInstalled);
    EXPECT_EQ(capi.StartCapi(), 1);
    EXPECT_EQ(capi.m_dwLastResult.load(), Info::NotInstalled);
    EXPECT_FALSE(capi.ReceiveThreadRunning());
    EXPECT_EQ(capi.StopCapi(), 0);
}

class MissingEntryPoint : public testing::TestWithParam<MissingEntryCase> {};

TEST_P(MissingEntryPoint, LeavesTheObjectUnbound) {
    FakeCapiLibrary fake;
    CapiEntryPoints table = fake.Table();
    GetParam().remove(table);
    CCapiOperations capi(&table);
    ExpectUnbound(capi);
    const FakeCapiLibrary::Snapshot state = fake.State();
    EXPECT_EQ(state.installedCalls, 0);
    EXPECT_EQ(state.registerCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(Binding, MissingEntryPoint, testing::ValuesIn(kMissingEntries),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(Binding, NoTableMeansUnbound) {
    CCapiOperations capi(nullptr);
    ExpectUnbound(capi);
}

TEST(Binding, MissingLibraryFileMeansUnbound) {
    CCapiOperations capi(std::string("libquorbel-no-such-capi.so.9"));
    ExpectUnbound(capi);
}

TEST(Binding, OptionalExtrasMayBeMissing) {
    FakeCapiLibrary fake(FakeCapiLibrary::Wakeup::LibraryWait);
    CapiEntryPoints table = fake.Table();
    table.setDriver = nullptr;
    table.setHost = nullptr;
    table.setPort = nullptr;
    table.registerDebugPrint = nullptr;
    CCapiOperations capi(&table);
    EXPECT_TRUE(capi.IsBound());
    EXPECT_EQ(capi.CapiInstalled(), 0u);
}

// ---------------------------------------------------------------- StartCapi

struct StartCase {
    const char* name;
    unsigned installed;
    unsigned registered;
    int started;
    uint32_t lastResult;
    int registerCalls;
};

const StartCase kStartCases[] = {
    {"Succeeds", 0, 0, 0, 0, 1},
    {"InstalledFailsWithItsValue", 0x1108, 0, 1, 0x1108, 0},
    {"LibraryNotInstalledIsReportedAs1109", Info::RegNotInstalled, 0, 1, Info::NotInstalled, 0},
    {"RegisterFailsWithItsValue", 0, 0x1008, 1, 0x1008, 1},
    {"RegisterNotInstalledIsReportedAs1109", 0, Info::RegNotInstalled, 1, Info::NotInstalled, 1},
};

class StartCapi : public testing::TestWithParam<StartCase> {};

TEST_P(StartCapi, ReportsTheLibrarysResult) {
    const StartCase& test = GetParam();
    FakeCapiLibrary fake;
    fake.installedResult = test.installed;
    fake.registerResult = test.registered;
    const CapiEntryPoints table = fake.Table();
    RecordingOperations capi(&table);

    EXPECT_EQ(capi.StartCapi(), test.started);
    EXPECT_EQ(capi.m_dwLastResult.load(), test.lastResult);
    EXPECT_EQ(capi.m_bRegistered.load(), test.started == 0);
    EXPECT_EQ(capi.ReceiveThreadRunning(), test.started == 0);
    EXPECT_EQ(capi.m_dwApplID.load(), test.started == 0 ? 0x42u : 0u);
    const FakeCapiLibrary::Snapshot state = fake.State();
    EXPECT_EQ(state.registerCalls, test.registerCalls);
    if (test.registerCalls > 0) {
        EXPECT_EQ(state.registerArguments, (std::vector<unsigned>{2, 7, 2048}));
    }
}

INSTANTIATE_TEST_SUITE_P(Registration, StartCapi, testing::ValuesIn(kStartCases),
                         [](const auto& param) { return std::string(param.param.name); });

// --------------------------------------------------------- receive thread

struct WakeupCase {
    const char* name;
    FakeCapiLibrary::Wakeup wakeup;
};

const WakeupCase kWakeups[] = {
    {"OnDescriptor", FakeCapiLibrary::Wakeup::Descriptor},
    {"InLibraryWait", FakeCapiLibrary::Wakeup::LibraryWait},
};

class ReceiveThread : public testing::TestWithParam<WakeupCase> {
protected:
    FakeCapiLibrary fake{GetParam().wakeup};
    CapiEntryPoints table = fake.Table();
};

TEST_P(ReceiveThread, DispatchesDeliveredMessagesInOrder) {
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.StartCapi(), 0);
    fake.Deliver(kConnectB3Ind);
    fake.Deliver(kConnectB3ActiveInd);
    ASSERT_TRUE(WaitUntil([&] { return capi.Calls().size() == 2; }));
    EXPECT_EQ(capi.Calls(), (std::vector<std::string>{"ConnectB3Ind n=14 a=00010201",
                                                      "ConnectB3ActiveInd n=15 a=00010201"}));
    ASSERT_TRUE(WaitUntil([&] { return fake.State().puts.size() == 2; }));
}

TEST_P(ReceiveThread, StopCapiWhileWaitingEndsTheThread) {
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.StartCapi(), 0);
    // Make sure the thread is in its wait: one message went through.
    fake.Deliver(kConnectB3Ind);
    ASSERT_TRUE(WaitUntil([&] { return capi.Calls().size() == 1; }));

    EXPECT_EQ(capi.StopCapi(), 0);
    // StopCapi waits at most 5000 ms; had the wait not ended, the thread would
    // still run now.
    EXPECT_FALSE(capi.ReceiveThreadRunning());
    EXPECT_FALSE(capi.m_bRegistered.load());
    EXPECT_EQ(capi.m_dwApplID.load(), 0u);
    EXPECT_EQ(fake.State().releasedIds, std::vector<unsigned>{0x42});
}

TEST_P(ReceiveThread, ReleaseInAHandlerEndsTheLoopAfterIt) {
    RecordingOperations capi(&table);
    capi.onCall = [&](const std::string& line) {
        if (line.rfind("ConnectB3Ind", 0) == 0) capi.CapiRelease();
    };
    ASSERT_EQ(capi.StartCapi(), 0);
    fake.Deliver(kConnectB3Ind);
    fake.Deliver(kConnectB3ActiveInd);
    ASSERT_TRUE(WaitUntil([&] { return !capi.ReceiveThreadRunning(); }));
    EXPECT_EQ(capi.Calls(), std::vector<std::string>{"ConnectB3Ind n=14 a=00010201"});
    EXPECT_EQ(fake.State().getCalls, 1);
}

TEST_P(ReceiveThread, SecondStartRegistersAnew) {
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.StartCapi(), 0);
    EXPECT_EQ(capi.StopCapi(), 0);
    ASSERT_EQ(capi.StartCapi(), 0);
    EXPECT_EQ(capi.m_dwApplID.load(), 0x43u);
    EXPECT_TRUE(capi.ReceiveThreadRunning());
    fake.Deliver(kConnectB3Ind);
    ASSERT_TRUE(WaitUntil([&] { return capi.Calls().size() == 1; }));
    EXPECT_EQ(fake.State().registerCalls, 2);
}

TEST_P(ReceiveThread, StartAfterReleaseInAHandlerRegistersAnew) {
    RecordingOperations capi(&table);
    capi.onCall = [&](const std::string&) { capi.CapiRelease(); };
    ASSERT_EQ(capi.StartCapi(), 0);
    fake.Deliver(kConnectB3Ind);
    ASSERT_TRUE(WaitUntil([&] { return !capi.m_bRegistered.load(); }));
    ASSERT_EQ(capi.StartCapi(), 0);
    EXPECT_EQ(fake.State().registerCalls, 2);
    capi.onCall = nullptr;
}

// The last handler of an ended registration may still be handing its report
// to the window whose thread starts the next call: that start must not wait
// for it, and the old thread must not take the new registration's messages.
TEST_P(ReceiveThread, NewStartDoesNotWaitForTheLastHandlerOfTheEndedRegistration) {
    RecordingOperations capi(&table);
    std::promise<void> handlerMayReturn;
    const std::shared_future<void> mayReturn = handlerMayReturn.get_future().share();
    std::atomic<bool> inLastHandler{false};
    std::atomic<int> handlers{0};
    capi.onCall = [&](const std::string&) {
        if (handlers++ > 0) return;
        capi.CapiRelease();
        inLastHandler = true;
        mayReturn.wait();
    };
    ASSERT_EQ(capi.StartCapi(), 0);
    fake.Deliver(kConnectB3Ind);
    ASSERT_TRUE(WaitUntil([&] { return inLastHandler.load(); }));

    EXPECT_EQ(capi.StartCapi(), 0);
    EXPECT_EQ(fake.State().registerCalls, 2);
    handlerMayReturn.set_value();
    fake.Deliver(kConnectB3ActiveInd);
    ASSERT_TRUE(WaitUntil([&] { return capi.Calls().size() == 2; }));
    EXPECT_EQ(capi.Calls().back(), "ConnectB3ActiveInd n=15 a=00010201");
}

TEST_P(ReceiveThread, DestructionWhileRegisteredReleases) {
    auto capi = std::make_unique<RecordingOperations>(&table);
    ASSERT_EQ(capi->StartCapi(), 0);
    capi.reset();
    EXPECT_EQ(fake.State().releasedIds, std::vector<unsigned>{0x42});
}

// A handler may destroy the object it runs on: the thread must neither wait
// for itself nor touch the object afterwards.
class SelfDestroying : public CCapiOperations {
public:
    using CCapiOperations::CCapiOperations;
    std::atomic<bool>* destroyed = nullptr;
    void OnConnectB3Ind(uint16_t, uint32_t) override {
        std::atomic<bool>* flag = destroyed;
        delete this;
        *flag = true;
    }
};

TEST_P(ReceiveThread, HandlerMayDestroyTheObject) {
    std::atomic<bool> destroyed{false};
    auto* capi = new SelfDestroying(&table);
    capi->destroyed = &destroyed;
    ASSERT_EQ(capi->StartCapi(), 0);
    fake.Deliver(kConnectB3Ind);
    fake.Deliver(kConnectB3ActiveInd);
    ASSERT_TRUE(WaitUntil([&] { return destroyed.load(); }));
    EXPECT_EQ(fake.State().releasedIds, std::vector<unsigned>{0x42});
    // The second message stays unfetched.
    EXPECT_TRUE(WaitUntil([&] { return fake.State().getCalls == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Wakeups, ReceiveThread, testing::ValuesIn(kWakeups),
                         [](const auto& param) { return std::string(param.param.name); });

// ------------------------------------------------------ loss of the library

TEST(ReceiveLoopEnd, EndOfStreamCallsOnConnectionLostOnce) {
    FakeCapiLibrary fake(FakeCapiLibrary::Wakeup::Descriptor);
    const CapiEntryPoints table = fake.Table();
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.StartCapi(), 0);
    fake.EndStream();
    ASSERT_TRUE(WaitUntil([&] { return !capi.ReceiveThreadRunning(); }));
    EXPECT_EQ(capi.connectionLost.load(), 1);
    // Nothing was fetched from the dead connection, and the base released.
    EXPECT_EQ(fake.State().getCalls, 0);
    EXPECT_EQ(fake.State().releasedIds, std::vector<unsigned>{0x42});
    EXPECT_FALSE(capi.m_bRegistered.load());
}

TEST(ReceiveLoopEnd, FetchesThatKeepFailingEndTheLoop) {
    FakeCapiLibrary fake(FakeCapiLibrary::Wakeup::LibraryWait);
    fake.failEveryFetch = true;
    const CapiEntryPoints table = fake.Table();
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.StartCapi(), 0);
    ASSERT_TRUE(WaitUntil([&] { return !capi.ReceiveThreadRunning(); }));
    EXPECT_EQ(capi.connectionLost.load(), 1);
    EXPECT_LE(fake.State().getCalls, static_cast<int>(CCapiOperations::kMaxFailuresInRow) + 1);
    EXPECT_FALSE(capi.m_bRegistered.load());
}

TEST(ReceiveLoopEnd, ThreadProcWithoutObjectReturnsAtOnce) {
    EXPECT_EQ(CCapiOperations::ReceiveThreadProc(nullptr), 0u);
}

}  // namespace
}  // namespace capi::test
