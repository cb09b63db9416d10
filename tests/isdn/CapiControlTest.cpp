#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "isdn/CapiControl.h"
#include "isdn/RelayFrame.h"
#include "platform/Window.h"
#include "tests/isdn/RecordingOwner.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeCapiLibrary.h"
#include "tests/support/MessageBuilder.h"

namespace {

using isdn::CallState;
using isdn::CCapiControl;
using isdntest::RecordingOwner;
using isdntest::Status;
using testsupport::FakeCapiLibrary;
using testsupport::MessageBuilder;
using testsupport::PutRecord;

constexpr uint8_t CONNECT = 0x02;
constexpr uint8_t CONNECT_ACTIVE = 0x03;
constexpr uint8_t DISCONNECT = 0x04;
constexpr uint8_t CONNECT_B3 = 0x82;
constexpr uint8_t CONNECT_B3_ACTIVE = 0x83;
constexpr uint8_t DISCONNECT_B3 = 0x84;
constexpr uint8_t DATA_B3 = 0x86;
constexpr uint8_t REQ = 0x80;
constexpr uint8_t CONF = 0x81;
constexpr uint8_t IND = 0x82;
constexpr uint8_t RESP = 0x83;

constexpr uint32_t kPlci = 0x0101;
constexpr uint32_t kNcci = 0x010101;
constexpr uint32_t kController = 1;
constexpr int kBoundMs = 20000;

// What a put message is known by in the tables: command, subcommand, address.
struct Sent {
    uint8_t command;
    uint8_t subcommand;
    uint32_t address;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& s) {
    return out << std::hex << "{0x" << int{s.command} << ", 0x" << int{s.subcommand} << ", 0x"
               << s.address << "}" << std::dec;
}

// ---------------------------------------------------------------- messages

std::vector<uint8_t> ConnectConf(uint16_t info, uint32_t plci = kPlci) {
    return MessageBuilder(CONNECT, CONF, 2).U32(plci).U16(info).Finish();
}
std::vector<uint8_t> ConnectActiveInd(uint32_t plci = kPlci) {
    // connected number, connected subaddress, LLC: all empty
    return MessageBuilder(CONNECT_ACTIVE, IND, 0x4001).U32(plci).Bytes({0, 0, 0}).Finish();
}
std::vector<uint8_t> ConnectB3Conf(uint16_t info, uint32_t ncci = kNcci) {
    return MessageBuilder(CONNECT_B3, CONF, 3).U32(ncci).U16(info).Finish();
}
std::vector<uint8_t> ConnectB3ActiveInd(uint32_t ncci = kNcci) {
    return MessageBuilder(CONNECT_B3_ACTIVE, IND, 0x4002).U32(ncci).Bytes({0}).Finish();
}
std::vector<uint8_t> DisconnectInd(uint16_t reason, uint32_t plci = kPlci) {
    return MessageBuilder(DISCONNECT, IND, 0x4003).U32(plci).U16(reason).Finish();
}
std::vector<uint8_t> DataB3Conf(uint16_t number, uint16_t info = 0) {
    return MessageBuilder(DATA_B3, CONF, number).U32(kNcci).U16(number).U16(info).Finish();
}
// Short form with the data following the message.
std::vector<uint8_t> DataB3Ind(uint16_t handle, const std::vector<uint8_t>& data) {
    return MessageBuilder(DATA_B3, IND, 0x4100)
        .U32(kNcci)
        .U32(0)
        .U16(static_cast<uint16_t>(data.size()))
        .U16(handle)
        .U16(0)
        .Finish(data);
}

std::vector<Sent> Summary(const std::vector<PutRecord>& records, size_t from) {
    std::vector<Sent> out;
    for (size_t i = from; i < records.size(); ++i) {
        out.push_back({records[i].Command(), records[i].Subcommand(), records[i].Address()});
    }
    return out;
}

isdn::Block MakeBlock(size_t length, uint8_t type) {
    isdn::Block block(new uint8_t[length]);
    for (size_t i = 0; i < length; ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
    block[0] = type;
    return block;
}

// Short waits, so that tests that run into them stay quick.
isdn::ControlTiming FastTiming() {
    isdn::ControlTiming timing;
    timing.confirmWaitMs = 30000;
    timing.hangupPauseMs = 10;
    timing.confSearchLimitMs = 100;
    return timing;
}

// A registered control on the fake library whose receive thread waits for
// messages fed through the fake; Feed dispatches on the test thread instead.
class ControlTest : public testing::Test {
protected:
    void SetUp() override { Start(FastTiming()); }
    void TearDown() override { control.reset(); }

    void Start(isdn::ControlTiming timing) {
        fake.Reset();
        table = fake.Table();
        control = std::make_unique<CCapiControl>(owner, &table, timing);
        ASSERT_EQ(control->StartCapi(), 0);
    }

    void Feed(const std::vector<uint8_t>& message) { control->DispatchCapiMessage(message.data()); }

    // Takes the call through the ordinary sequence up to the given state.
    void DriveTo(CallState target) {
        const CallState path[] = {CallState::ConnectRequested,   CallState::ConnectConfirmed,
                                  CallState::B3ConnectRequested, CallState::B3ConnectConfirmed,
                                  CallState::Connected,          CallState::DisconnectRequested};
        for (const CallState step : path) {
            if (control->GetCallState() == target) break;
            if (step == CallState::ConnectRequested) control->Connect("0301234", "");
            if (step == CallState::ConnectConfirmed) Feed(ConnectConf(0));
            if (step == CallState::B3ConnectRequested) Feed(ConnectActiveInd());
            if (step == CallState::B3ConnectConfirmed) Feed(ConnectB3Conf(0));
            if (step == CallState::Connected) Feed(ConnectB3ActiveInd());
            if (step == CallState::DisconnectRequested) control->Hangup();
            ASSERT_EQ(control->GetCallState(), step) << isdn::CallStateName(step);
        }
        ASSERT_EQ(control->GetCallState(), target);
        mark = fake.SentCount();
        owner.Clear();
    }

    std::vector<Sent> SentSinceMark() const { return Summary(fake.Sent(), mark); }

    bool WaitForState(CallState state) {
        return testsupport::RunUntil([&] { return control->GetCallState() == state; }, kBoundMs);
    }

    // Without a descriptor, so that the receive thread waits in the library.
    FakeCapiLibrary fake{FakeCapiLibrary::Wakeup::LibraryWait};
    capi::CapiEntryPoints table;
    RecordingOwner owner;
    std::unique_ptr<CCapiControl> control;
    size_t mark = 0;
};

// ------------------------------------------------------------ state table

enum class Event {
    Connect,
    Hangup,
    ConnectConfOk,
    ConnectConfFail,
    ActiveInd,
    B3ConfOk,
    B3ConfFail,
    B3ActiveInd,
    DisconnectInd,
    BusyInd,
    ConnectionLost,
};

struct TransitionCase {
    const char* name;
    CallState from;
    Event event;
    CallState next;
    std::vector<Sent> sent;
    std::vector<Status> statuses;
    bool registeredAfter;
};

std::ostream& operator<<(std::ostream& out, const TransitionCase& c) {
    return out << c.name;
}

class TransitionTest : public ControlTest, public testing::WithParamInterface<TransitionCase> {
protected:
    void Apply(Event event) {
        switch (event) {
            case Event::Connect:
                control->Connect("0301234", "");
                break;
            case Event::Hangup:
                control->Hangup();
                break;
            case Event::ConnectConfOk:
                Feed(ConnectConf(0));
                break;
            case Event::ConnectConfFail:
                Feed(ConnectConf(0x2003));
                break;
            case Event::ActiveInd:
                Feed(ConnectActiveInd());
                break;
            case Event::B3ConfOk:
                Feed(ConnectB3Conf(0));
                break;
            case Event::B3ConfFail:
                Feed(ConnectB3Conf(0x3008));
                break;
            case Event::B3ActiveInd:
                Feed(ConnectB3ActiveInd());
                break;
            case Event::DisconnectInd:
                Feed(DisconnectInd(0x3490));
                break;
            case Event::BusyInd:
                Feed(DisconnectInd(0x3491));
                break;
            case Event::ConnectionLost:
                control->OnConnectionLost();
                break;
        }
    }
};

TEST_P(TransitionTest, MovesSendsAndReports) {
    const TransitionCase& c = GetParam();
    DriveTo(c.from);
    Apply(c.event);
    EXPECT_EQ(isdn::CallStateName(control->GetCallState()), isdn::CallStateName(c.next));
    EXPECT_EQ(SentSinceMark(), c.sent);
    EXPECT_EQ(owner.Statuses(), c.statuses);
    EXPECT_EQ(control->m_bRegistered.load(), c.registeredAfter);
    if (c.next == CallState::Idle) {
        EXPECT_EQ(control->GetConnectionId(), 1u);
    }
}

const Sent kConnectReq{CONNECT, REQ, kController};
const Sent kActiveResp{CONNECT_ACTIVE, RESP, kPlci};
const Sent kB3Req{CONNECT_B3, REQ, kPlci};
const Sent kB3ActiveResp{CONNECT_B3_ACTIVE, RESP, kNcci};
const Sent kDisconnectReq{DISCONNECT, REQ, kPlci};
const Sent kDisconnectResp{DISCONNECT, RESP, kPlci};

INSTANTIATE_TEST_SUITE_P(
    CallStates, TransitionTest,
    testing::Values(TransitionCase{"ConnectFromIdleDials",
                                   CallState::Idle,
                                   Event::Connect,
                                   CallState::ConnectRequested,
                                   {kConnectReq},
                                   {{2, 0}},
                                   true},
                    TransitionCase{"ConnectWhileDiallingIsRefused",
                                   CallState::ConnectRequested,
                                   Event::Connect,
                                   CallState::ConnectRequested,
                                   {},
                                   {{1, 0}},
                                   true},
                    TransitionCase{"ConnectWhileConfirmedIsRefused",
                                   CallState::ConnectConfirmed,
                                   Event::Connect,
                                   CallState::ConnectConfirmed,
                                   {},
                                   {{1, 0}},
                                   true},
                    TransitionCase{"ConnectWhileConnectedIsRefused",
                                   CallState::Connected,
                                   Event::Connect,
                                   CallState::Connected,
                                   {},
                                   {{1, 0}},
                                   true},
                    TransitionCase{"PositiveConnectConf",
                                   CallState::ConnectRequested,
                                   Event::ConnectConfOk,
                                   CallState::ConnectConfirmed,
                                   {},
                                   {},
                                   true},
                    TransitionCase{"NegativeConnectConfEndsTheCall",
                                   CallState::ConnectRequested,
                                   Event::ConnectConfFail,
                                   CallState::Idle,
                                   {},
                                   {{1, 0x2003}},
                                   false},
                    TransitionCase{"ActiveIndAsksForB3",
                                   CallState::ConnectConfirmed,
                                   Event::ActiveInd,
                                   CallState::B3ConnectRequested,
                                   {kActiveResp, kB3Req},
                                   {{5, 0}},
                                   true},
                    TransitionCase{"PositiveB3Conf",
                                   CallState::B3ConnectRequested,
                                   Event::B3ConfOk,
                                   CallState::B3ConnectConfirmed,
                                   {},
                                   {},
                                   true},
                    TransitionCase{"NegativeB3ConfClearsThePhysicalCall",
                                   CallState::B3ConnectRequested,
                                   Event::B3ConfFail,
                                   CallState::DisconnectRequested,
                                   {kDisconnectReq},
                                   {},
                                   true},
                    TransitionCase{"B3ActiveIndConnects",
                                   CallState::B3ConnectConfirmed,
                                   Event::B3ActiveInd,
                                   CallState::Connected,
                                   {kB3ActiveResp},
                                   {{3, 0}},
                                   true},
                    TransitionCase{"DisconnectIndEndsAConnectedCall",
                                   CallState::Connected,
                                   Event::DisconnectInd,
                                   CallState::Idle,
                                   {kDisconnectResp},
                                   {{1, 0x3490}},
                                   false},
                    TransitionCase{"DisconnectIndAfterHangup",
                                   CallState::DisconnectRequested,
                                   Event::DisconnectInd,
                                   CallState::Idle,
                                   {kDisconnectResp},
                                   {{1, 0x3490}},
                                   false},
                    TransitionCase{"BusyWhileDialling",
                                   CallState::ConnectRequested,
                                   Event::BusyInd,
                                   CallState::Idle,
                                   {kDisconnectResp},
                                   {{1, 0x3491}},
                                   false},
                    TransitionCase{"HangupWhenIdleDoesNothing",
                                   CallState::Idle,
                                   Event::Hangup,
                                   CallState::Idle,
                                   {},
                                   {},
                                   true},
                    TransitionCase{"HangupTwiceDoesNothingMore",
                                   CallState::DisconnectRequested,
                                   Event::Hangup,
                                   CallState::DisconnectRequested,
                                   {},
                                   {},
                                   true},
                    TransitionCase{"HangupConnectedClearsB3ThenTheCall",
                                   CallState::Connected,
                                   Event::Hangup,
                                   CallState::DisconnectRequested,
                                   {{DISCONNECT_B3, REQ, kNcci}, kDisconnectReq},
                                   {{6, 0}},
                                   true},
                    TransitionCase{"HangupDuringB3SetUpNamesThePlci",
                                   CallState::B3ConnectConfirmed,
                                   Event::Hangup,
                                   CallState::DisconnectRequested,
                                   {{DISCONNECT_B3, REQ, kPlci}, kDisconnectReq},
                                   {{6, 0}},
                                   true},
                    TransitionCase{"HangupAfterConnectConfNamesItsPlci",
                                   CallState::ConnectConfirmed,
                                   Event::Hangup,
                                   CallState::DisconnectRequested,
                                   {kDisconnectReq},
                                   {{6, 0}},
                                   true},
                    TransitionCase{"HangupBeforeConnectConfWaitsForItsPlci",
                                   CallState::ConnectRequested,
                                   Event::Hangup,
                                   CallState::DisconnectRequested,
                                   {},
                                   {{6, 0}},
                                   true},
                    TransitionCase{"ConnectionLostEndsTheCall",
                                   CallState::Connected,
                                   Event::ConnectionLost,
                                   CallState::Idle,
                                   {},
                                   {{1, CCapiControl::kReasonConnectionLost}},
                                   false},
                    TransitionCase{"ConnectionLostWithoutACallReportsNothing",
                                   CallState::Idle,
                                   Event::ConnectionLost,
                                   CallState::Idle,
                                   {},
                                   {},
                                   false},
                    TransitionCase{"ActiveIndWhileClearingIsOnlyAnswered",
                                   CallState::DisconnectRequested,
                                   Event::ActiveInd,
                                   CallState::DisconnectRequested,
                                   {kActiveResp},
                                   {},
                                   true},
                    TransitionCase{"StaleConnectConfChangesNothing",
                                   CallState::Connected,
                                   Event::ConnectConfOk,
                                   CallState::Connected,
                                   {},
                                   {},
                                   true}),
    [](const testing::TestParamInfo<TransitionCase>& p) { return std::string(p.param.name); });

// ------------------------------------------------------------- set-up cases

struct ConnectReqCase {
    const char* name;
    const char* number;
    const char* ownMsn;
    std::vector<uint8_t> numbers;  // called and calling party number structures
};

TEST_F(ControlTest, ConnectReqCarriesSubaddressAndBProtocol) {
    const ConnectReqCase cases[] = {
        {"no own number", "0123", "", {0x05, 0x80, '0', '1', '2', '3', 0x00}},
        {"null own number", "0123", nullptr, {0x05, 0x80, '0', '1', '2', '3', 0x00}},
        {"own number", "0123", "12", {0x05, 0x80, '0', '1', '2', '3', 0x04, 0x00, 0x80, '1', '2'}},
    };
    const std::vector<uint8_t> tail = {0x00,                          // called subaddress
                                       0x04, 0xA0, 0xD4, 0x00, 0x00,  // calling subaddress
                                       0x09, 0,    0,    0,    0,    0, 0, 0, 0, 0,  // B protocol
                                       0,    0,    0,    0};  // BC, LLC, HLC, additional info
    for (const ConnectReqCase& c : cases) {
        SCOPED_TRACE(c.name);
        Start(FastTiming());
        ASSERT_TRUE(control->Connect(c.number, c.ownMsn));
        const std::vector<PutRecord> sent = fake.Sent();
        ASSERT_EQ(sent.size(), 1u);
        std::vector<uint8_t> expected = c.numbers;
        expected.insert(expected.end(), tail.begin(), tail.end());
        const std::vector<uint8_t>& m = sent[0].message;
        ASSERT_EQ(m.size(), 14 + expected.size());
        EXPECT_EQ(std::vector<uint8_t>(m.begin() + 14, m.end()), expected);
        EXPECT_EQ(sent[0].Word(12), 2);  // unrestricted digital information
    }
}

TEST_F(ControlTest, RefusedConnectReqLeavesTheCallIdleAndReportsNothing) {
    fake.RefusePut(CONNECT, REQ, 0x1108);
    EXPECT_FALSE(control->Connect("0301234", ""));
    EXPECT_EQ(control->GetCallState(), CallState::Idle);
    EXPECT_TRUE(owner.Statuses().empty());
}

TEST_F(ControlTest, HangupBeforeConnectConfClearsTheCallOnceItHasAPlci) {
    DriveTo(CallState::ConnectRequested);
    control->Hangup();
    Feed(ConnectConf(0, 0x0203));
    EXPECT_EQ(SentSinceMark(), (std::vector<Sent>{{DISCONNECT, REQ, 0x0203}}));
    EXPECT_EQ(control->GetCallState(), CallState::DisconnectRequested);
    Feed(DisconnectInd(0x3490, 0x0203));
    EXPECT_EQ(control->GetCallState(), CallState::Idle);
    EXPECT_EQ(owner.Statuses(), (std::vector<Status>{{6, 0}, {1, 0x3490}}));
}

TEST_F(ControlTest, NegativeConnectConfAfterHangupStillEndsTheCall) {
    DriveTo(CallState::ConnectRequested);
    control->Hangup();
    Feed(ConnectConf(0x2002));
    EXPECT_EQ(control->GetCallState(), CallState::Idle);
    EXPECT_TRUE(SentSinceMark().empty());
    EXPECT_EQ(owner.Statuses(), (std::vector<Status>{{6, 0}, {1, 0x2002}}));
    EXPECT_FALSE(control->m_bRegistered);
}

// The far end clears within the pause: no DISCONNECT_REQ follows, and the
// pause does not run to its end (it is far beyond the test's bound here).
TEST_F(ControlTest, HangupWithDisconnectIndInsideThePauseSendsNoDisconnectReq) {
    isdn::ControlTiming timing = FastTiming();
    timing.hangupPauseMs = 600000;
    Start(timing);
    DriveTo(CallState::Connected);
    fake.OnPut([this](const PutRecord& r) {
        if (r.Command() == DISCONNECT_B3 && r.Subcommand() == REQ) {
            fake.Deliver(DisconnectInd(0x3490));
        }
    });
    auto hangup = std::async(std::launch::async, [this] { return control->Hangup(); });
    ASSERT_EQ(hangup.wait_for(std::chrono::milliseconds(kBoundMs)), std::future_status::ready);
    EXPECT_TRUE(hangup.get());
    EXPECT_EQ(control->GetCallState(), CallState::Idle);
    // The end of the call is reported on the receive thread.
    ASSERT_TRUE(testsupport::RunUntil([&] { return owner.Statuses().size() >= 2; }, kBoundMs));
    EXPECT_EQ(SentSinceMark(), (std::vector<Sent>{{DISCONNECT_B3, REQ, kNcci}, kDisconnectResp}));
    EXPECT_EQ(owner.Statuses(), (std::vector<Status>{{6, 0}, {1, 0x3490}}));
}

TEST_F(ControlTest, CallEndsWhenTheConnectionToCapiEnds) {
    DriveTo(CallState::Connected);
    fake.EndStream();
    ASSERT_TRUE(WaitForState(CallState::Idle));
    ASSERT_TRUE(testsupport::RunUntil([&] { return !owner.Statuses().empty(); }, kBoundMs));
    EXPECT_EQ(owner.Statuses(), (std::vector<Status>{{1, CCapiControl::kReasonConnectionLost}}));
    EXPECT_FALSE(fake.Registered());
}

// ----------------------------------------------------------- received data

// A window on the test thread that checks, for each record, that the library
// has not yet been answered for it.
class FrameWindow : public platform::CWnd {
public:
    explicit FrameWindow(const FakeCapiLibrary& fake) : m_fake(fake) {}
    ~FrameWindow() override { ClosePort(); }

    std::vector<std::vector<uint8_t>> frames;
    std::vector<size_t> responsesBefore;
    std::atomic<int> handled{0};

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT& record) override {
        EXPECT_EQ(record.dwData, 1u);
        const auto* bytes = static_cast<const uint8_t*>(record.lpData);
        frames.emplace_back(bytes, bytes + record.cbData);
        size_t responses = 0;
        for (const PutRecord& r : m_fake.Sent()) {
            if (r.Command() == DATA_B3 && r.Subcommand() == RESP) ++responses;
        }
        responsesBefore.push_back(responses);
        ++handled;
        return 1;
    }
    void OnMessage(unsigned) override {}

private:
    const FakeCapiLibrary& m_fake;
};

TEST_F(ControlTest, RelayFramesReachTheWindowBeforeTheirResponse) {
    FrameWindow window(fake);
    owner.window = &window;
    DriveTo(CallState::Connected);
    const std::vector<uint8_t> data = {0x00, 'H', 'T', 'T', 'P'};
    const std::vector<uint8_t> close = {0x01, 0x55};
    const std::vector<uint8_t> other = {0x02, 0x10};
    fake.Deliver(DataB3Ind(11, data));
    fake.Deliver(DataB3Ind(12, other));
    fake.Deliver(DataB3Ind(13, close));
    ASSERT_TRUE(testsupport::RunUntil([&] { return fake.SentCount() >= mark + 3; }, kBoundMs));
    EXPECT_EQ(window.frames, (std::vector<std::vector<uint8_t>>{data, close}));
    // Each record was handled before its indication was answered.
    EXPECT_EQ(window.responsesBefore, (std::vector<size_t>{0, 2}));
    const std::vector<PutRecord> sent = fake.Sent();
    ASSERT_EQ(sent.size(), mark + 3);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[mark + i].Command(), DATA_B3);
        EXPECT_EQ(sent[mark + i].Subcommand(), RESP);
        EXPECT_EQ(sent[mark + i].Address(), kNcci);
        EXPECT_EQ(sent[mark + i].Word(12), 11 + i) << "data handle";
    }
}

TEST_F(ControlTest, FramesWithoutAWindowAreStillAnsweredOnce) {
    DriveTo(CallState::Connected);
    const std::vector<uint8_t> frames[] = {{0x00, 'a'}, {0x01}, {0x02}, {}};
    uint16_t handle = 20;
    for (const auto& frame : frames) Feed(DataB3Ind(handle++, frame));
    const std::vector<Sent> expected(4, Sent{DATA_B3, RESP, kNcci});
    EXPECT_EQ(SentSinceMark(), expected);
}

// --------------------------------------------------------------- sent data

struct SendCase {
    const char* name;
    CallState state;
    size_t length;  // 0 with a null block
    bool nullBlock;
    uint32_t result;
};

TEST_F(ControlTest, SendDataSendsOneConfirmedBlockOrRefusesIt) {
    const SendCase cases[] = {
        {"largest block", CallState::Connected, 2048, false, 2048},
        {"one byte too long", CallState::Connected, 2049, false, 0},
        {"open frame", CallState::Connected, 1, false, 1},
        {"null block", CallState::Connected, 16, true, 0},
        {"not yet connected", CallState::ConnectConfirmed, 16, false, 0},
        {"b3 not yet active", CallState::B3ConnectConfirmed, 16, false, 0},
        {"no call", CallState::Idle, 16, false, 0},
    };
    for (const SendCase& c : cases) {
        SCOPED_TRACE(c.name);
        Start(FastTiming());
        DriveTo(c.state);
        fake.OnPut([this](const PutRecord& r) {
            if (r.Command() == DATA_B3 && r.Subcommand() == REQ)
                fake.Deliver(DataB3Conf(r.Number()));
        });
        isdn::Block block = c.nullBlock ? nullptr : MakeBlock(c.length, isdn::RELAY_DATA);
        std::vector<uint8_t> copy;
        if (block) copy.assign(block.get(), block.get() + c.length);
        EXPECT_EQ(control->SendData(static_cast<int32_t>(c.length), std::move(block)), c.result);
        const std::vector<PutRecord> sent = fake.Sent();
        if (c.result == 0) {
            EXPECT_EQ(sent.size(), mark);
            continue;
        }
        ASSERT_EQ(sent.size(), mark + 1);
        EXPECT_EQ(sent[mark].Address(), kNcci);
        EXPECT_EQ(sent[mark].Word(18), sent[mark].Number()) << "data handle";
        EXPECT_EQ(sent[mark].data, copy);
        // Returned because the confirmation matched, not by the time-out.
        EXPECT_EQ(control->PendingCount(), 0u);
    }
}

TEST_F(ControlTest, NegativeDataConfReleasesTheBlockAndSendsNothingAgain) {
    DriveTo(CallState::Connected);
    fake.OnPut([this](const PutRecord& r) {
        if (r.Command() == DATA_B3 && r.Subcommand() == REQ) {
            fake.Deliver(DataB3Conf(r.Number(), 0x300A));
        }
    });
    EXPECT_EQ(control->SendData(100, MakeBlock(100, isdn::RELAY_DATA)), 100u);
    EXPECT_EQ(control->PendingCount(), 0u);
    EXPECT_EQ(fake.SentCount(), mark + 1);
}

TEST_F(ControlTest, UnconfirmedBlockStaysPendingUntilItsLateConf) {
    isdn::ControlTiming timing = FastTiming();
    timing.confirmWaitMs = 20;
    Start(timing);
    DriveTo(CallState::Connected);
    EXPECT_EQ(control->SendData(10, MakeBlock(10, isdn::RELAY_CONTROL)), 10u);
    EXPECT_EQ(control->PendingCount(), 1u);
    fake.Deliver(DataB3Conf(fake.Sent().back().Number()));
    EXPECT_TRUE(testsupport::RunUntil([&] { return control->PendingCount() == 0; }, kBoundMs));
}

TEST_F(ControlTest, RefusedDataReqDropsTheBlock) {
    isdn::ControlTiming timing = FastTiming();
    timing.confirmWaitMs = 20;
    Start(timing);
    DriveTo(CallState::Connected);
    fake.RefusePut(DATA_B3, REQ, 0x1108);
    EXPECT_EQ(control->SendData(10, MakeBlock(10, isdn::RELAY_DATA)), 10u);
    EXPECT_EQ(control->PendingCount(), 0u);
}

// A confirmation for a block never sent must not stop the receive thread: the
// indication behind it is still handled.
TEST_F(ControlTest, StrayDataConfDoesNotBlockTheReceiveThread) {
    DriveTo(CallState::Connected);
    fake.Deliver(DataB3Conf(0x7777));
    fake.Deliver(DisconnectInd(0x3490));
    EXPECT_TRUE(WaitForState(CallState::Idle));
}

// A control that lets the library's put return only once the confirmation
// of the block is being looked for, so that it overtakes the append.
class OvertakenControl : public CCapiControl {
public:
    using CCapiControl::CCapiControl;
    ~OvertakenControl() override { StopCapi(); }

    void OnDataB3Conf(uint16_t number, uint32_t ncci, uint16_t handle, uint16_t info) override {
        searching = true;
        CCapiControl::OnDataB3Conf(number, ncci, handle, info);
    }
    std::atomic<bool> searching{false};
};

TEST_F(ControlTest, ConfOvertakingTheAppendIsMatched) {
    control.reset();
    fake.Reset();
    isdn::ControlTiming timing = FastTiming();
    timing.confSearchLimitMs = 30000;
    auto overtaken = std::make_unique<OvertakenControl>(owner, &table, timing);
    OvertakenControl* raw = overtaken.get();
    control = std::move(overtaken);
    ASSERT_EQ(control->StartCapi(), 0);
    DriveTo(CallState::Connected);
    std::thread conf;
    fake.OnPut([&](const PutRecord& r) {
        if (r.Command() != DATA_B3 || r.Subcommand() != REQ) return;
        const std::vector<uint8_t> message = DataB3Conf(r.Number());
        conf = std::thread([this, message] { Feed(message); });
        ASSERT_TRUE(testsupport::RunUntil([&] { return raw->searching.load(); }, kBoundMs));
    });
    EXPECT_EQ(control->SendData(10, MakeBlock(10, isdn::RELAY_DATA)), 10u);
    conf.join();
    EXPECT_EQ(control->PendingCount(), 0u);
}

// Nothing may keep the sender waiting once the call is gone.
TEST_F(ControlTest, EndOfCallReleasesAWaitingSenderAndItsBlock) {
    DriveTo(CallState::Connected);
    auto send = std::async(std::launch::async, [this] {
        return control->SendData(10, MakeBlock(10, isdn::RELAY_DATA));
    });
    ASSERT_TRUE(fake.WaitForSent(mark + 1));
    fake.Deliver(DisconnectInd(0x3490));
    ASSERT_EQ(send.wait_for(std::chrono::milliseconds(kBoundMs)), std::future_status::ready);
    EXPECT_EQ(send.get(), 10u);
    EXPECT_TRUE(WaitForState(CallState::Idle));
    EXPECT_TRUE(testsupport::RunUntil([&] { return control->PendingCount() == 0; }, kBoundMs));
}

}  // namespace
