#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "capi/CapiEntryPoints.h"
#include "capi/CapiOperations.h"
#include "isdn/CallControl.h"
#include "isdn/CallOwner.h"
#include "isdn/CallTransitions.h"
#include "isdn/DataB3ReqList.h"
#include "platform/Event.h"

namespace isdn {

// The waits of the connection control. The defaults are the product's; tests
// shorten them.
struct ControlTiming {
    // How long SendData waits for the DATA_B3_CONF of its block.
    uint32_t confirmWaitMs = 2500;
    // Between DISCONNECT_B3_REQ and DISCONNECT_REQ of a hang-up, so that the
    // far end can clear the call by itself first (the pause ends early when
    // it does).
    uint32_t hangupPauseMs = 200;
    // A DATA_B3_CONF can overtake the append of its block: the search waits
    // for the append, but gives up after this long, since a confirmation of a
    // block that was never sent (or already dropped) must not stop the
    // receive thread. It matches the sender's own wait.
    uint32_t confSearchLimitMs = 2500;
};

// The CAPI application of the one outgoing ISDN data call to the PBX: the
// call's state machine (see CallTransitions.h), the operations that start,
// clear and feed the call, and the hand-over of received frames to the main
// window. Handlers run on the receive thread; Connect and Hangup on the main
// thread, SendData and the idle Hangup on the bridge's sender thread.
class CCapiControl : public capi::CCapiOperations, public CCallControl {
public:
    // Reason reported when the connection to CAPI ends under a call: the
    // CAPI "protocol error layer 1", as the line is gone.
    static constexpr uint16_t kReasonConnectionLost = 0x3301;

    explicit CCapiControl(CCallOwner& owner, ControlTiming timing = {});
    // Works with a table of entry points handed in (a fake library).
    CCapiControl(CCallOwner& owner, const capi::CapiEntryPoints* table, ControlTiming timing = {});
    ~CCapiControl() override;

    int StartCapi() override;
    bool Connect(const char* number, const char* ownMsn) override;
    bool Hangup() override;
    uint32_t SendData(int32_t length, Block block) override;

    CallState GetCallState() const { return m_CallState.load(); }
    uint32_t GetConnectionId() const { return m_dwConnectionId.load(); }
    size_t PendingCount() const { return m_PendingList.Count(); }

    void OnConnectConf(uint16_t number, uint32_t plci, uint16_t info) override;
    void OnConnectB3Conf(uint16_t number, uint32_t ncci, uint16_t info) override;
    void OnDataB3Conf(uint16_t number, uint32_t ncci, uint16_t handle, uint16_t info) override;
    void OnConnectActiveInd(uint16_t number, uint32_t plci, const char* connectedNumber,
                            const char* connectedSubaddress) override;
    void OnConnectB3ActiveInd(uint16_t number, uint32_t ncci) override;
    void OnDisconnectInd(uint16_t number, uint32_t plci, uint16_t reason) override;
    void OnDataB3Ind(uint16_t number, uint32_t ncci, const uint8_t* data, uint16_t length,
                     uint16_t handle, uint16_t flags) override;
    void OnConnectionLost() override;

private:
    // Connection identifier while CAPI has given the call none.
    static constexpr uint32_t kNoConnection = 1;

    // Applies the event through the transition table; the state it left, or
    // nothing when the event has no effect in the current state.
    std::optional<CallState> Move(CallEvent event);
    void SendDisconnect();
    void EndCall(uint16_t reason);
    void HandOver(const uint8_t* frame, uint16_t length);
    void Report(int status, uint16_t reason);
    void ReportFromHandler(int status, uint16_t reason);

    CDataB3ReqList m_PendingList;
    CCallOwner* const m_pOwner;
    std::atomic<CallState> m_CallState{CallState::Idle};
    // Set when a DATA_B3_CONF has been matched.
    platform::CEvent m_ConfirmEvent{false, false};
    // Set when a call ends; cuts the pause of a hang-up short.
    platform::CEvent m_CallEndedEvent{true, false};
    // 1 while none is known; the PLCI of the call, later its NCCI.
    std::atomic<uint32_t> m_dwConnectionId{kNoConnection};
    const ControlTiming m_Timing;
    // Held by Connect from its CONNECT_REQ until "dialling" is reported, so
    // that no report of the receive thread about that call can precede it.
    std::mutex m_DialLock;
};

}  // namespace isdn
