#include "sim/IsdnExchange.h"

#include <algorithm>

#include "sim/PbxSite.h"
#include "sim/RelayEndpoint.h"

namespace sim {
namespace {

// Info values of confirmations, as a CAPI controller gives them.
constexpr uint16_t INFO_OK = 0x0000;
constexpr uint16_t INFO_OS_RESOURCE = 0x1008;
constexpr uint16_t INFO_WRONG_STATE = 0x2001;
constexpr uint16_t INFO_ILLEGAL_ID = 0x2002;
constexpr uint16_t INFO_ILLEGAL_CONTROLLER = 0x2003;
constexpr uint16_t INFO_ILLEGAL_PARAMETER = 0x2007;
// Reasons of indications.
constexpr uint16_t REASON_NORMAL_CLEARING = 0x3490;
constexpr uint16_t REASON_INCOMPATIBLE = 0x34D8;
constexpr uint16_t CIP_UNRESTRICTED_DIGITAL = 2;
// A program that keeps sending while nothing is confirmed is cut off here.
constexpr size_t MAX_WAITING_BLOCKS = 1024;

}  // namespace

CIsdnExchange::CIsdnExchange(const CSimOptions& options, CPbxSite& site, Sink sink,
                             uint16_t maxBlocks, uint16_t maxBlockLen)
    : m_options(options),
      m_site(site),
      m_sink(std::move(sink)),
      m_nMaxBlocks(std::clamp<size_t>(maxBlocks, 1, 7)),
      m_nMaxBlockLen(std::clamp<size_t>(maxBlockLen, 2, CRelayEndpoint::MAX_FRAME)),
      m_outLine(options.lineRate),
      m_inLine(options.lineRate) {}

CIsdnExchange::~CIsdnExchange() = default;

CCapiMessage CIsdnExchange::Reply(uint8_t command, uint8_t subcommand, uint16_t number) {
    return CCapiMessage(command, subcommand, m_wApplId, number);
}

void CIsdnExchange::Send(const CCapiMessage& message) {
    m_sink(message);
}

void CIsdnExchange::OnMessage(const CCapiMessage& m, TimePoint now) {
    m_wApplId = m.ApplId();
    if (m.Subcommand() == capi::Subcommand::Req) {
        switch (m.Command()) {
            case capi::Command::Connect:
                OnConnectReq(m, now);
                break;
            case capi::Command::ConnectB3:
                OnConnectB3Req(m);
                m_lastActivity = now;
                break;
            case capi::Command::DataB3:
                OnDataB3Req(m, now);
                break;
            case capi::Command::DisconnectB3:
                OnDisconnectB3Req(m);
                break;
            case capi::Command::Disconnect:
                OnDisconnectReq(m);
                break;
            case capi::Command::Listen:
                Reject(m, INFO_OK);
                break;
            case capi::Command::Alert:
            case capi::Command::Info:
            case capi::Command::SelectBProtocol:
            case capi::Command::Facility:
            case capi::Command::ResetB3:
                Reject(m, INFO_WRONG_STATE);
                break;
            default:
                break;  // unknown requests get no answer, as from a real controller
        }
    } else if (m.Subcommand() == capi::Subcommand::Resp && m.Command() == capi::Command::DataB3) {
        OnDataB3Resp(m);
    }
    Pump(now);
}

void CIsdnExchange::OnTimer(TimePoint now) {
    Pump(now);
}

void CIsdnExchange::Reject(const CCapiMessage& m, uint16_t info) {
    const auto address = m.ReadDword(8);
    if (!address) return;  // nothing to address a confirmation to
    Send(Reply(m.Command(), capi::Subcommand::Conf, m.MessageNumber())
             .AddDword(*address)
             .AddWord(info));
}

void CIsdnExchange::OnConnectReq(const CCapiMessage& m, TimePoint now) {
    const auto controller = m.ReadDword(8);
    const auto cip = m.ReadWord(12);
    const auto called = m.ReadStruct(14);
    if (!controller || !cip || !called) return Reject(m, INFO_ILLEGAL_PARAMETER);
    if ((*controller & 0x7F) != 1) return Reject(m, INFO_ILLEGAL_CONTROLLER);
    if (m_state != State::Idle) return Reject(m, INFO_WRONG_STATE);
    if (m_options.connectConfInfo != INFO_OK) {
        const auto conf = Reply(capi::Command::Connect, capi::Subcommand::Conf, m.MessageNumber())
                              .AddDword(*controller & 0x7F)
                              .AddWord(m_options.connectConfInfo);
        BeforeStep(CallStep::ConnectConf, conf);
        Send(conf);
        return AtStep(CallStep::ConnectConf, conf);
    }
    m_strCalled.clear();
    // The first octet is type of number and numbering plan; digits follow.
    for (size_t i = 1; i < called->content.size(); ++i)
        m_strCalled += static_cast<char>(called->content[i] & 0x7F);
    m_wCip = *cip;
    m_nPlciByte = static_cast<uint8_t>(m_nPlciByte == 0xFF ? 1 : m_nPlciByte + 1);
    m_state = State::Dialling;
    m_dialDue = now + std::chrono::milliseconds(m_options.dialDelayMs);
    const auto conf = Reply(capi::Command::Connect, capi::Subcommand::Conf, m.MessageNumber())
                          .AddDword(Plci())
                          .AddWord(0);
    BeforeStep(CallStep::ConnectConf, conf);
    Send(conf);
    AtStep(CallStep::ConnectConf, conf);
}

void CIsdnExchange::Answer() {
    m_dialDue.reset();
    if (m_strCalled != m_options.pbxNumber) return ClearByNetwork(m_options.ReasonFor(m_strCalled));
    // The PBX's data port takes unrestricted digital calls only.
    if (m_wCip != CIP_UNRESTRICTED_DIGITAL) return ClearByNetwork(REASON_INCOMPATIBLE);
    std::vector<uint8_t> connected{0x00, 0x80};
    for (char c : m_options.ConnectedNumber()) connected.push_back(static_cast<uint8_t>(c));
    auto ind = Reply(capi::Command::ConnectActive, capi::Subcommand::Ind, ++m_wNumber);
    ind.AddDword(Plci()).AddStruct(connected).AddEmptyStruct().AddEmptyStruct();
    m_state = State::Active;
    BeforeStep(CallStep::Active, ind);
    Send(ind);
    AtStep(CallStep::Active, ind);
}

void CIsdnExchange::OnConnectB3Req(const CCapiMessage& m) {
    const auto plci = m.ReadDword(8);
    if (!plci) return;
    if (m_state != State::Active) return Reject(m, INFO_WRONG_STATE);
    if ((*plci & 0xFFFF) != Plci()) return Reject(m, INFO_ILLEGAL_ID);
    if (m_options.connectB3ConfInfo != INFO_OK) {
        const auto conf = Reply(capi::Command::ConnectB3, capi::Subcommand::Conf, m.MessageNumber())
                              .AddDword(*plci)
                              .AddWord(m_options.connectB3ConfInfo);
        BeforeStep(CallStep::B3Conf, conf);
        Send(conf);
        return AtStep(CallStep::B3Conf, conf);
    }
    const auto conf = Reply(capi::Command::ConnectB3, capi::Subcommand::Conf, m.MessageNumber())
                          .AddDword(Ncci())
                          .AddWord(0);
    BeforeStep(CallStep::B3Conf, conf);
    Send(conf);
    AtStep(CallStep::B3Conf, conf);
    if (m_state != State::Active || m_bDrop) return;
    auto ind = Reply(capi::Command::ConnectB3Active, capi::Subcommand::Ind, ++m_wNumber);
    ind.AddDword(Ncci()).AddEmptyStruct();
    m_state = State::B3Active;
    m_endpoint = std::make_unique<CRelayEndpoint>(m_site, m_nMaxBlockLen);
    BeforeStep(CallStep::B3Active, ind);
    Send(ind);
    AtStep(CallStep::B3Active, ind);
}

void CIsdnExchange::OnDataB3Req(const CCapiMessage& m, TimePoint now) {
    const auto ncci = m.ReadDword(8);
    const auto length = m.ReadWord(16);
    const auto handle = m.ReadWord(18);
    if (!ncci) return;
    Block block;
    block.handle = handle.value_or(0);
    block.number = m.MessageNumber();
    if (!length || !handle) return SendDataConf(block, INFO_ILLEGAL_PARAMETER);
    if (m_state != State::B3Active) return SendDataConf(block, INFO_WRONG_STATE);
    if (*ncci != Ncci()) return SendDataConf(block, INFO_ILLEGAL_ID);
    // The data travels behind the message; a length it does not cover is refused.
    if (*length > m_nMaxBlockLen || m.Trailer().size() < *length)
        return SendDataConf(block, INFO_ILLEGAL_PARAMETER);
    if (m_waiting.size() >= MAX_WAITING_BLOCKS) return SendDataConf(block, INFO_OS_RESOURCE);
    block.data.assign(m.Trailer().begin(), m.Trailer().begin() + *length);
    block.ready = now;
    block.serial = ++m_nReceived;
    m_waiting.push_back(std::move(block));
    m_lastActivity = now;
    Admit(now);
}

void CIsdnExchange::Admit(TimePoint now) {
    while (m_state == State::B3Active && !m_bDrop && m_window.size() < m_nMaxBlocks &&
           !m_waiting.empty()) {
        m_window.push_back(std::move(m_waiting.front()));
        m_waiting.pop_front();
        Block& entered = m_window.back();
        entered.ready = std::max(entered.ready, now);
        ConfirmEntered(entered, now);
    }
}

void CIsdnExchange::ConfirmEntered(const Block& block, TimePoint now) {
    const bool faultBlock = block.serial == m_options.faultBlock;
    if (m_options.withholdDataConf) {
        if (faultBlock)
            AtStep(CallStep::Data,
                   Reply(capi::Command::DataB3, capi::Subcommand::Conf, block.number));
        return;
    }
    if (m_options.dataConfDelayMs > 0 && !faultBlock) {
        m_lateConfs.emplace_back(now + std::chrono::milliseconds(m_options.dataConfDelayMs),
                                 block.handle | (static_cast<uint32_t>(block.number) << 16));
        return;
    }
    auto conf = Reply(capi::Command::DataB3, capi::Subcommand::Conf, block.number);
    conf.AddDword(Ncci()).AddWord(block.handle).AddWord(INFO_OK);
    if (faultBlock) BeforeStep(CallStep::Data, conf);
    Send(conf);
    if (faultBlock) AtStep(CallStep::Data, conf);
}

void CIsdnExchange::SendDataConf(const Block& block, uint16_t info) {
    const uint32_t address = m_state == State::B3Active ? Ncci() : Plci();
    Send(Reply(capi::Command::DataB3, capi::Subcommand::Conf, block.number)
             .AddDword(address)
             .AddWord(block.handle)
             .AddWord(info));
}

void CIsdnExchange::OnDataB3Resp(const CCapiMessage& m) {
    if (const auto handle = m.ReadWord(12)) m_unanswered.erase(*handle);
}

void CIsdnExchange::OnDisconnectB3Req(const CCapiMessage& m) {
    const auto ncci = m.ReadDword(8);
    if (!ncci) return;
    if (m_state != State::B3Active) return Reject(m, INFO_WRONG_STATE);
    if (*ncci != Ncci()) return Reject(m, INFO_ILLEGAL_ID);
    Reject(m, INFO_OK);
    Send(Reply(capi::Command::DisconnectB3, capi::Subcommand::Ind, ++m_wNumber)
             .AddDword(Ncci())
             .AddWord(0)
             .AddEmptyStruct());
    m_state = State::Active;
    m_endpoint.reset();
    m_waiting.clear();
    m_window.clear();
    m_lateConfs.clear();
    m_toProgram.clear();
}

void CIsdnExchange::OnDisconnectReq(const CCapiMessage& m) {
    const auto plci = m.ReadDword(8);
    if (!plci) return;
    // Only the low 16 bits name the call: an NCCI passed as PLCI still clears it.
    if (m_state == State::Idle || (*plci & 0xFFFF) != Plci()) return Reject(m, INFO_ILLEGAL_ID);
    Send(Reply(capi::Command::Disconnect, capi::Subcommand::Conf, m.MessageNumber())
             .AddDword(Plci())
             .AddWord(INFO_OK));
    ClearByNetwork(REASON_NORMAL_CLEARING);
}

void CIsdnExchange::ClearByNetwork(uint16_t reason) {
    if (m_state == State::B3Active)
        Send(Reply(capi::Command::DisconnectB3, capi::Subcommand::Ind, ++m_wNumber)
                 .AddDword(Ncci())
                 .AddWord(0)
                 .AddEmptyStruct());
    Send(Reply(capi::Command::Disconnect, capi::Subcommand::Ind, ++m_wNumber)
             .AddDword(Plci())
             .AddWord(reason));
    EndCall();
}

void CIsdnExchange::EndCall() {
    m_state = State::Idle;
    m_dialDue.reset();
    m_endpoint.reset();
    m_waiting.clear();
    m_window.clear();
    m_lateConfs.clear();
    m_toProgram.clear();
    m_unanswered.clear();  // the library frees the indications of a cleared call
    m_outLine.Reset();
    m_inLine.Reset();
}

void CIsdnExchange::BeforeStep(CallStep step, const CCapiMessage& message) {
    if (m_options.malformedAt == step) Send(Malformed(message));
}

void CIsdnExchange::AtStep(CallStep step, const CCapiMessage&) {
    if (m_options.dropAt == step) m_bDrop = true;
    if (m_options.disconnectAt == step && m_state != State::Idle && !m_bDrop)
        ClearByNetwork(m_options.disconnectReason);
}

CCapiMessage CIsdnExchange::Malformed(const CCapiMessage& message) {
    switch (m_options.malformKind) {
        case MalformKind::Truncated: {
            CCapiMessage cut = message;
            auto& bytes = cut.MutableBytes();
            bytes.resize(10);  // shorter than any message with an address
            bytes[0] = 10;
            bytes[1] = 0;
            return cut;
        }
        case MalformKind::BadStruct: {
            CCapiMessage broken = message;
            if (broken.Length() > 12) {
                broken.MutableBytes()[12] = 0xF0;  // a structure longer than the message
            } else {
                broken.AddByte(0x40);
            }
            return broken;
        }
        case MalformKind::UnknownCommand:
        default:
            return Reply(0x7E, capi::Subcommand::Ind, ++m_wNumber).AddDword(Plci());
    }
}

void CIsdnExchange::Pump(TimePoint now) {
    for (bool progress = true; progress && !m_bDrop;) {
        progress = false;
        if (m_dialDue && *m_dialDue <= now) {
            Answer();
            progress = true;
            continue;
        }
        for (auto it = m_lateConfs.begin(); it != m_lateConfs.end();) {
            if (it->first > now) {
                ++it;
                continue;
            }
            Block block;
            block.handle = static_cast<uint16_t>(it->second & 0xFFFF);
            block.number = static_cast<uint16_t>(it->second >> 16);
            it = m_lateConfs.erase(it);
            if (m_state == State::B3Active) SendDataConf(block, INFO_OK);
        }
        if (!m_window.empty() && !ToProgramFull()) {
            Block& head = m_window.front();
            if (!head.due) head.due = m_outLine.Schedule(head.data.size(), head.ready);
            if (*head.due <= now) {
                const TimePoint due = *head.due;
                const auto frames = m_endpoint ? m_endpoint->OnFrame(head.data)
                                               : std::vector<std::vector<uint8_t>>{};
                m_window.pop_front();
                m_outLine.Delivered(due, now);
                for (const auto& frame : frames) m_toProgram.push_back({0, 0, frame, due, {}, 0});
                Admit(now);
                progress = true;
                continue;
            }
        }
        if (!m_toProgram.empty() && m_unanswered.size() < m_nMaxBlocks) {
            Block& head = m_toProgram.front();
            if (!head.due) head.due = m_inLine.Schedule(head.data.size(), head.ready);
            if (*head.due <= now) {
                m_wIndHandle = static_cast<uint16_t>(m_wIndHandle == 0xFFFF ? 1 : m_wIndHandle + 1);
                auto ind = Reply(capi::Command::DataB3, capi::Subcommand::Ind, ++m_wNumber);
                ind.AddDword(Ncci()).AddDword(0).AddWord(static_cast<uint16_t>(head.data.size()));
                ind.AddWord(m_wIndHandle).AddWord(0).AddTrailer(head.data);
                m_unanswered.insert(m_wIndHandle);
                m_inLine.Delivered(*head.due, now);
                m_toProgram.pop_front();
                m_lastActivity = now;
                Send(ind);
                progress = true;
                continue;
            }
        }
        if (m_state == State::B3Active && m_options.idleClearMs > 0 &&
            now >= m_lastActivity + std::chrono::milliseconds(m_options.idleClearMs)) {
            ClearByNetwork(REASON_NORMAL_CLEARING);
            progress = true;
        }
    }
}

// A client that keeps asking without reading its answers is held back: the
// next block in the window reaches the PBX only once the answers already
// queued towards the program have gone out, so memory stays bounded.
bool CIsdnExchange::ToProgramFull() const {
    return m_toProgram.size() >= kMaxQueuedToProgram;
}

std::optional<CIsdnExchange::TimePoint> CIsdnExchange::NextDeadline() const {
    std::optional<TimePoint> next;
    auto consider = [&next](TimePoint t) {
        if (!next || t < *next) next = t;
    };
    if (m_bDrop) return next;
    if (m_dialDue) consider(*m_dialDue);
    for (const auto& late : m_lateConfs) consider(late.first);
    if (!m_window.empty() && !ToProgramFull() && m_window.front().due)
        consider(*m_window.front().due);
    if (!m_toProgram.empty() && m_unanswered.size() < m_nMaxBlocks && m_toProgram.front().due)
        consider(*m_toProgram.front().due);
    if (m_state == State::B3Active && m_options.idleClearMs > 0)
        consider(m_lastActivity + std::chrono::milliseconds(m_options.idleClearMs));
    return next;
}

}  // namespace sim
