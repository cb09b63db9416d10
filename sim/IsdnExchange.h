#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/CapiMessage.h"
#include "sim/LinePacer.h"
#include "sim/SimOptions.h"

namespace sim {

class CPbxSite;
class CRelayEndpoint;

// The ISDN exchange as one registered application sees it through
// controller 1: it places the application's outgoing call, answers it as the
// PBX or the network would, and carries the B-channel at the line rate. It is
// driven by messages and by the clock; everything it sends goes to the sink.
class CIsdnExchange {
public:
    using TimePoint = CLinePacer::TimePoint;
    using Sink = std::function<void(const CCapiMessage&)>;

    // maxBlocks and maxBlockLen come from the application's registration.
    CIsdnExchange(const CSimOptions& options, CPbxSite& site, Sink sink, uint16_t maxBlocks,
                  uint16_t maxBlockLen);
    ~CIsdnExchange();

    void OnMessage(const CCapiMessage& message, TimePoint now);
    void OnTimer(TimePoint now);
    std::optional<TimePoint> NextDeadline() const;
    // A fault asked for the application's connection to be dropped.
    bool DropRequested() const { return m_bDrop; }

private:
    enum class State { Idle, Dialling, Active, B3Active };
    struct Block {
        uint16_t handle = 0;
        uint16_t number = 0;  // message number of the DATA_B3_REQ
        std::vector<uint8_t> data;
        TimePoint ready{};
        std::optional<TimePoint> due;
        uint32_t serial = 0;
    };

    void OnConnectReq(const CCapiMessage& m, TimePoint now);
    void OnConnectB3Req(const CCapiMessage& m);
    void OnDataB3Req(const CCapiMessage& m, TimePoint now);
    void OnDisconnectB3Req(const CCapiMessage& m);
    void OnDisconnectReq(const CCapiMessage& m);
    void OnDataB3Resp(const CCapiMessage& m);
    void Reject(const CCapiMessage& m, uint16_t info);

    void Answer();
    void ClearByNetwork(uint16_t reason);
    void EndCall();
    void Admit(TimePoint now);
    void SendDataConf(const Block& block, uint16_t info);
    void ConfirmEntered(const Block& block, TimePoint now);
    CCapiMessage Malformed(const CCapiMessage& message);
    void Pump(TimePoint now);
    void Send(const CCapiMessage& message);
    void AtStep(CallStep step, const CCapiMessage& message);
    void BeforeStep(CallStep step, const CCapiMessage& message);
    CCapiMessage Reply(uint8_t command, uint8_t subcommand, uint16_t number);

    uint32_t Plci() const { return 0x01u | (static_cast<uint32_t>(m_nPlciByte) << 8); }
    uint32_t Ncci() const { return Plci() | 0x10000u; }

    const CSimOptions& m_options;
    CPbxSite& m_site;
    Sink m_sink;
    const size_t m_nMaxBlocks;
    const size_t m_nMaxBlockLen;
    std::unique_ptr<CRelayEndpoint> m_endpoint;

    uint16_t m_wApplId = 0;
    uint16_t m_wNumber = 0;  // our own message numbers
    State m_state = State::Idle;
    uint8_t m_nPlciByte = 0;
    std::string m_strCalled;
    uint16_t m_wCip = 0;
    std::optional<TimePoint> m_dialDue;
    TimePoint m_lastActivity{};
    bool m_bDrop = false;

    // Program to PBX: blocks waiting for the send window, and the window.
    std::deque<Block> m_waiting;
    std::deque<Block> m_window;
    std::vector<std::pair<TimePoint, uint32_t>> m_lateConfs;  // handle | number << 16
    uint32_t m_nReceived = 0;
    CLinePacer m_outLine;

    // PBX to program: frames waiting for the line, and unanswered indications.
    std::deque<Block> m_toProgram;
    // Answer blocks queued towards the program before the window is held.
    static constexpr size_t kMaxQueuedToProgram = 512;
    bool ToProgramFull() const;
    std::set<uint16_t> m_unanswered;
    uint16_t m_wIndHandle = 0;
    CLinePacer m_inLine;
};

}  // namespace sim
