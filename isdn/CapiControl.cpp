#include "isdn/CapiControl.h"

#include <chrono>
#include <utility>

#include "isdn/RelayFrame.h"
#include "platform/Window.h"

namespace isdn {
namespace {

// Calling party subaddress: user-specified, even number of digits, D4 00 00.
// The PBX recognises its service connections by it.
constexpr uint8_t kCallingSubaddress[] = {0x04, 0xA0, 0xD4, 0x00, 0x00};
// B1 64 kbit/s HDLC, B2 X.75 SLP, B3 transparent, every configuration empty
// so that CAPI's defaults apply.
constexpr uint8_t kBProtocol[] = {0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0};

constexpr uint32_t kPlciMask = 0xFFFF;
constexpr uintptr_t kRelayRecord = 1;

// Fixed trace texts; the program keeps no log, so they go nowhere.
void Trace(const char*) {}

}  // namespace

CCapiControl::CCapiControl(CCallOwner& owner, ControlTiming timing)
    : m_pOwner(&owner), m_Timing(timing) {}

CCapiControl::CCapiControl(CCallOwner& owner, const capi::CapiEntryPoints* table,
                           ControlTiming timing)
    : capi::CCapiOperations(table), m_pOwner(&owner), m_Timing(timing) {}

// The receive thread must be gone before the members its handlers use are.
CCapiControl::~CCapiControl() {
    StopCapi();
    // The handlers use this object's members: no receive thread may still
    // run one when they go.
    EndReceiveThreads();
    m_PendingList.Clear();
}

int CCapiControl::StartCapi() {
    return capi::CCapiOperations::StartCapi();
}

std::optional<CallState> CCapiControl::Move(CallEvent event) {
    CallState current = m_CallState.load();
    for (;;) {
        const std::optional<CallState> next = NextCallState(current, event);
        if (!next) return std::nullopt;
        if (m_CallState.compare_exchange_weak(current, *next)) return current;
    }
}

void CCapiControl::Report(int status, uint16_t reason) {
    m_pOwner->NotifyStatus(status, reason);
}

// Waits until a Connect that has put its request has also reported it.
void CCapiControl::ReportFromHandler(int status, uint16_t reason) {
    { std::lock_guard barrier(m_DialLock); }
    Report(status, reason);
}

// ------------------------------------------------------------ call set-up

bool CCapiControl::Connect(const char* number, const char* ownMsn) {
    std::lock_guard dialling(m_DialLock);
    // The state moves before the request goes out: its confirmation may be
    // handled before ConnectReq has even returned.
    if (!Move(CallEvent::Dial)) {
        Report(STATUS_READY, 0);
        return false;
    }
    if (ConnectReq(number, ownMsn, kCallingSubaddress, kBProtocol) == 0) {
        Move(CallEvent::DialRefused);
        return false;
    }
    Report(STATUS_DIALLING, 0);
    return true;
}

void CCapiControl::OnConnectConf(uint16_t, uint32_t plci, uint16_t info) {
    if (info != 0) {
        if (Move(CallEvent::ConnectConfFail)) EndCall(info);
        return;
    }
    // Kept so that a hang-up before CONNECT_ACTIVE_IND reaches this call.
    m_dwConnectionId = plci;
    const std::optional<CallState> left = Move(CallEvent::ConnectConfOk);
    // A hang-up came before this confirmation and left the clearing to it.
    if (left == CallState::DisconnectRequested) DisconnectReq(plci);
}

void CCapiControl::OnConnectActiveInd(uint16_t number, uint32_t plci, const char*, const char*) {
    ConnectActiveResp(number, plci);
    // Being cleared already, or no call of ours: the answer is all.
    if (!Move(CallEvent::ActiveInd)) return;
    m_dwConnectionId = plci;
    ReportFromHandler(STATUS_CONNECTING, 0);
    ConnectB3Req(plci);
    // Also when the put was refused: the clearing that follows ends the call.
    Move(CallEvent::B3Requested);
}

void CCapiControl::OnConnectB3Conf(uint16_t, uint32_t ncci, uint16_t info) {
    if (info == 0) {
        Move(CallEvent::B3ConfOk);
        return;
    }
    if (!Move(CallEvent::B3ConfFail)) return;
    // The DISCONNECT_IND that follows reports the end of the call. CAPI
    // knows the physical connection by the PLCI, the low word of the NCCI.
    if (Move(CallEvent::Clear)) DisconnectReq(ncci & kPlciMask);
}

void CCapiControl::OnConnectB3ActiveInd(uint16_t, uint32_t ncci) {
    ConnectB3ActiveResp(ncci);
    if (!Move(CallEvent::B3ActiveInd)) return;
    m_dwConnectionId = ncci;
    ReportFromHandler(STATUS_CONNECTED, 0);
}

// ---------------------------------------------------------- end of the call

void CCapiControl::OnDisconnectInd(uint16_t, uint32_t plci, uint16_t reason) {
    DisconnectResp(plci);
    Move(CallEvent::DisconnectInd);
    EndCall(reason);
}

// The connection to CAPI is gone: no DISCONNECT_IND will come, so the call
// ends here as if one had.
void CCapiControl::OnConnectionLost() {
    const std::optional<CallState> left = Move(CallEvent::ConnectionLost);
    if (left && *left != CallState::Idle) {
        EndCall(kReasonConnectionLost);
    } else {
        capi::CCapiOperations::OnConnectionLost();
    }
}

// Runs on the receive thread once the state is Idle. The release does not
// wait: the receive loop ends by itself after this handler.
void CCapiControl::EndCall(uint16_t reason) {
    m_dwConnectionId = kNoConnection;
    CapiRelease();
    // The released application confirms nothing any more: free its blocks and
    // let a waiting sender go.
    m_PendingList.Clear();
    m_ConfirmEvent.Set();
    m_CallEndedEvent.Set();
    ReportFromHandler(STATUS_READY, reason);
}

bool CCapiControl::Hangup() {
    const CallState state = m_CallState.load();
    if (state == CallState::Idle || state == CallState::DisconnectRequested) return true;
    Report(STATUS_DISCONNECTING, 0);
    m_CallEndedEvent.Reset();
    if (Move(CallEvent::ClearB3)) {
        DisconnectB3Req(m_dwConnectionId);
        // The PLCI is the low word of the NCCI.
        m_dwConnectionId &= kPlciMask;
        m_CallEndedEvent.Wait(m_Timing.hangupPauseMs);
        // The far end may have cleared the call meanwhile.
        const CallState now = m_CallState.load();
        if (now == CallState::Idle || now == CallState::DisconnectRequested) return true;
    }
    SendDisconnect();
    return true;
}

// The state moves before the request goes out, so that a DISCONNECT_IND that
// answers it at once is not overwritten.
void CCapiControl::SendDisconnect() {
    const std::optional<CallState> left = Move(CallEvent::Clear);
    if (!left) return;
    // Before CONNECT_CONF the call has no PLCI yet; the confirmation clears it.
    if (*left == CallState::ConnectRequested) return;
    DisconnectReq(m_dwConnectionId);
}

// ----------------------------------------------------------------- B3 data

void CCapiControl::OnDataB3Ind(uint16_t, uint32_t ncci, const uint8_t* data, uint16_t length,
                               uint16_t handle, uint16_t) {
    if (data != nullptr && length > 0) HandOver(data, length);
    // Exactly once per indication, and only after the window is done with the
    // frame: the block belongs to the library, which aborts on a second answer.
    DataB3Resp(ncci, handle);
}

void CCapiControl::HandOver(const uint8_t* frame, uint16_t length) {
    if (frame[0] == RELAY_DATA) {
        Trace("<<< ISDN in <<<\n\r");
    } else if (frame[0] == RELAY_CONTROL) {
        Trace("<<< ISDN close >>>\n\r");
    } else {
        return;
    }
    platform::CWnd* window = m_pOwner->MainWindow();
    if (window == nullptr) return;
    window->SendCopyData({kRelayRecord, length, frame});
}

uint32_t CCapiControl::SendData(int32_t length, Block block) {
    if (!block || length < 1 || static_cast<size_t>(length) > kMaxFrameLength ||
        m_CallState.load() != CallState::Connected) {
        return 0;
    }
    if (block[0] == RELAY_DATA) {
        Trace(">>> ISDN out >>>\n\r");
    } else if (block[0] == RELAY_CONTROL) {
        Trace("<<< ISDN open >>>\n\r");
    }
    m_ConfirmEvent.Reset();
    const uint16_t number = DataB3Req(m_dwConnectionId, block.get(), static_cast<uint16_t>(length));
    // A refused block is lost; the wait still paces the sender.
    if (number != 0) {
        m_PendingList.Append(number, std::move(block));
        // The call ended before the append: its clearing has already emptied
        // the list, and no confirmation will come for this block.
        if (m_CallState.load() != CallState::Connected) m_PendingList.FindAndRemove(number);
    }
    block.reset();
    m_ConfirmEvent.Wait(m_Timing.confirmWaitMs);
    return static_cast<uint32_t>(length);
}

void CCapiControl::OnDataB3Conf(uint16_t number, uint32_t, uint16_t, uint16_t) {
    // The Info is not looked at: a refused block is not sent again either.
    if (!m_PendingList.WaitAndRemove(number, m_Timing.confSearchLimitMs)) return;
    m_ConfirmEvent.Set();
}

}  // namespace isdn
