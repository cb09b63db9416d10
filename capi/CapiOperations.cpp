#include "capi/CapiOperations.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/MessageReader.h"
#include "capi/MessageWriter.h"

namespace capi {
namespace {

using ConfHandler = void (CCapiOperations::*)(uint16_t, uint32_t, uint16_t);

struct ConfRoute {
    uint8_t command;
    ConfHandler handler;
};

// DATA_B3_CONF carries a data handle as well and has its own path.
constexpr ConfRoute kConfRoutes[] = {
    {Command::Alert, &CCapiOperations::OnAlertConf},
    {Command::Connect, &CCapiOperations::OnConnectConf},
    {Command::ConnectB3, &CCapiOperations::OnConnectB3Conf},
    {Command::DisconnectB3, &CCapiOperations::OnDisconnectB3Conf},
    {Command::Disconnect, &CCapiOperations::OnDisconnectConf},
    {Command::Info, &CCapiOperations::OnInfoConf},
    {Command::Listen, &CCapiOperations::OnListenConf},
    {Command::ResetB3, &CCapiOperations::OnResetB3Conf},
    {Command::SelectBProtocol, &CCapiOperations::OnSelectBProtocolConf},
};

// Digits of a number go out with their two high bits cleared; 0-9, * and #
// pass unchanged.
void AppendDigits(std::vector<uint8_t>& content, std::string_view digits) {
    for (const char c : digits) content.push_back(static_cast<uint8_t>(c) & 0x3F);
}

// Called party number: type of number and numbering plan unknown, extension bit set.
std::vector<uint8_t> CalledPartyNumber(std::string_view digits) {
    std::vector<uint8_t> content;
    if (digits.empty()) return content;
    content.push_back(0x80);
    AppendDigits(content, digits);
    return content;
}

// Calling party number: second octet "presentation allowed, user-provided,
// not screened".
std::vector<uint8_t> CallingPartyNumber(std::string_view digits) {
    std::vector<uint8_t> content;
    if (digits.empty()) return content;
    content.push_back(0x00);
    content.push_back(0x80);
    AppendDigits(content, digits);
    return content;
}

std::string_view TextOrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

// Connected number: type-of-number octet 0x00 and a presentation octet before the digits.
std::optional<std::string> ConnectedNumberText(const CapiStruct& number) {
    if (number.length < 3 || number.content[0] != 0x00) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(number.content + 2), number.length - 2);
}

// Connected subaddress: type octet 0x80 before the information.
std::optional<std::string> ConnectedSubaddressText(const CapiStruct& subaddress) {
    if (subaddress.length < 2 || subaddress.content[0] != 0x80) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(subaddress.content + 1),
                       subaddress.length - 1);
}

const char* TextOrNull(const std::optional<std::string>& text) {
    return text ? text->c_str() : nullptr;
}

constexpr uint32_t kLowWord = 0xFFFF;
// LLC of CONNECT_RESP.
constexpr uint8_t kRejectLlc[] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint16_t kRejectIgnore = 1;
constexpr uint16_t kAccept = 0;
constexpr uint32_t kFirstController = 1;
constexpr uint16_t kCipUnrestrictedDigital = 2;

}  // namespace

// Owned jointly by the object and its receive thread. A thread detached by a
// handler that destroyed the object touches nothing else when it ends, not
// even process-wide state that may be going away at exit.
struct CCapiOperations::ReceiveState {
    std::atomic<bool> destroyed{false};
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;

    void Finish() {
        {
            std::lock_guard guard(lock);
            finished = true;
        }
        changed.notify_all();
    }
    bool WaitFinished(uint32_t timeoutMs) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                [this] { return finished; });
    }
    bool IsFinished() {
        std::lock_guard guard(lock);
        return finished;
    }
};

CCapiOperations::CCapiOperations() = default;

CCapiOperations::CCapiOperations(const CapiEntryPoints* table) : CCapiInterface(table) {}

CCapiOperations::CCapiOperations(const std::string& libraryFile) : CCapiInterface(libraryFile) {}

CCapiOperations::~CCapiOperations() {
    if (IsReceiveThread()) {
        // A handler destroys the object: the loop must not touch it again, and
        // a thread cannot wait for itself.
        m_pReceiveState->destroyed = true;
        CapiRelease();
        m_ReceiveThread.detach();
        return;
    }
    if (m_bRegistered) StopCapi();
    EndReceiveThreads();
}

void CCapiOperations::EndReceiveThreads() {
    if (IsReceiveThread()) return;
    if (!WaitForReceiveThread(kThreadWaitMs)) JoinReceiveThread();
    JoinRetiredThreads(false);
}

// ---------------------------------------------------------------- registration

int CCapiOperations::StartCapi() {
    if (IsReceiveThread()) {
        // A handler cannot replace the thread it runs on.
        m_dwLastResult = Info::MsgOsResourceError;
        return 1;
    }
    if (m_bRegistered) {
        m_dwLastResult = Info::Success;
        return 0;
    }
    // The thread of the previous registration was ended by a release in one
    // of its handlers, which may still be handing its last report to the
    // window: this thread may be that window's, so it must not wait here.
    RetireReceiveThread();
    m_dwLastResult = CapiInstalled();
    if (m_dwLastResult != Info::Success) return 1;
    m_dwLastResult = CapiRegister();
    if (m_dwLastResult != Info::Success) return 1;

    auto state = std::make_shared<ReceiveState>();
    m_pReceiveState = state;
    try {
        m_ReceiveThread = std::thread([this, state] {
            m_ReceiveThreadId = std::this_thread::get_id();
            ReceiveThreadProc(this);
            state->Finish();
        });
    } catch (const std::system_error&) {
        CapiRelease();
        m_dwLastResult = Info::MsgOsResourceError;
        return 1;
    }
    return 0;
}

int CCapiOperations::StopCapi() {
    if (!IsBound()) return 0;
    if (IsReceiveThread()) {
        CapiRelease();
        return 0;
    }
    if (!CanWake()) {
        // Only the release ends the library's own wait.
        CapiRelease();
        WaitForReceiveThread(kThreadWaitMs);
        return 0;
    }
    // The library frees the application's buffers on release, and the
    // receive thread may be reading a message in them: stop the thread
    // first, release after.
    m_bRegistered = false;
    Wake();
    WaitForReceiveThread(kThreadWaitMs);
    CapiRelease();
    return 0;
}

void CCapiOperations::RetireReceiveThread() {
    JoinRetiredThreads(true);
    if (!m_ReceiveThread.joinable()) return;
    if (m_pReceiveState->IsFinished()) {
        JoinReceiveThread();
        return;
    }
    m_RetiredThreads.push_back({std::move(m_ReceiveThread), m_pReceiveState});
    m_ReceiveThreadId = std::thread::id();
}

void CCapiOperations::JoinRetiredThreads(bool finishedOnly) {
    for (auto it = m_RetiredThreads.begin(); it != m_RetiredThreads.end();) {
        if (finishedOnly && !it->state->IsFinished()) {
            ++it;
            continue;
        }
        it->state->WaitFinished(kThreadWaitMs);
        it->thread.join();
        it = m_RetiredThreads.erase(it);
    }
}

bool CCapiOperations::ReceiveThreadRunning() const {
    return m_ReceiveThread.joinable() && !m_pReceiveState->IsFinished();
}

bool CCapiOperations::IsReceiveThread() const {
    return m_ReceiveThreadId.load() == std::this_thread::get_id();
}

// True when no receive thread is left to wait for. Never waits on the
// receive thread itself.
bool CCapiOperations::WaitForReceiveThread(uint32_t timeoutMs) {
    if (!m_ReceiveThread.joinable()) return true;
    if (IsReceiveThread()) return false;
    if (!m_pReceiveState->WaitFinished(timeoutMs)) return false;
    JoinReceiveThread();
    return true;
}

// The thread still runs a handler after every bounded wait: freeing the object
// under it would be worse than waiting on.
void CCapiOperations::JoinReceiveThread() {
    if (!m_ReceiveThread.joinable()) return;
    if (!m_pReceiveState->IsFinished()) {
        std::fprintf(stderr, "quorbel: CAPI receive thread still busy; waiting for it\n");
    }
    m_ReceiveThread.join();
    m_ReceiveThreadId = std::thread::id();
}

uint32_t CCapiOperations::ReceiveThreadProc(CCapiOperations* self) {
    if (self == nullptr) return 0;
    return self->ReceiveLoop();
}

uint32_t CCapiOperations::ReceiveLoop() {
    const std::shared_ptr<ReceiveState> state = m_pReceiveState;
    // This registration ends with the next release, whatever follows it.
    const uint64_t releases = m_nReleases;
    const auto registered = [this, releases] { return m_bRegistered && m_nReleases == releases; };
    unsigned failures = 0;
    while (registered()) {
        const WaitOutcome waited = WaitForSignal();
        if (!registered()) return 0;
        if (waited.streamEnded || failures >= kMaxFailuresInRow) {
            OnConnectionLost();
            return 0;
        }
        if (waited.result != Info::Success) {
            ++failures;
            continue;
        }
        uint8_t* message = nullptr;
        if (CapiGetMessage(&message) != Info::Success || message == nullptr) {
            ++failures;
            continue;
        }
        failures = 0;
        DispatchCapiMessage(message);
        if (state && state->destroyed) return 0;
    }
    return 0;
}

void CCapiOperations::OnConnectionLost() {
    CapiRelease();
}

// --------------------------------------------------------------------- senders

uint16_t CCapiOperations::NextMessageNumber() {
    uint16_t current = m_wMessageNumber.load();
    uint16_t next = 0;
    do {
        next = current >= kLastMessageNumber ? uint16_t{1} : static_cast<uint16_t>(current + 1);
    } while (!m_wMessageNumber.compare_exchange_weak(current, next));
    return next;
}

uint16_t CCapiOperations::HeaderApplId() const {
    return static_cast<uint16_t>(m_dwApplID.load() & kLowWord);
}

uint16_t CCapiOperations::Refuse(uint32_t result) {
    m_dwLastResult = result;
    return 0;
}

uint16_t CCapiOperations::Send(CMessageWriter& message) {
    if (!message.Finish()) return Refuse(Info::IllegalMessageParameterCoding);
    const uint8_t* data = message.Data();
    const auto number = static_cast<uint16_t>(data[6] | data[7] << 8);
    const uint32_t result = CapiPutMessage(message.Data());
    m_dwLastResult = result;
    return result == Info::Success ? number : 0;
}

uint16_t CCapiOperations::ConnectReq(const char* called, const char* own,
                                     const uint8_t* callingSubaddress, const uint8_t* bProtocol) {
    const std::vector<uint8_t> calledNumber = CalledPartyNumber(TextOrEmpty(called));
    const std::vector<uint8_t> callingNumber = CallingPartyNumber(TextOrEmpty(own));
    CMessageWriter message(HeaderApplId(), Command::Connect, Subcommand::Req, 0);
    message.U32(kFirstController);
    message.U16(kCipUnrestrictedDigital);
    message.StructOf(calledNumber.data(), calledNumber.size());
    message.StructOf(callingNumber.data(), callingNumber.size());
    message.EmptyStruct();  // called party subaddress
    message.Struct(callingSubaddress);
    message.Struct(bProtocol);
    for (int i = 0; i < 4; ++i) message.EmptyStruct();  // BC, LLC, HLC, additional info
    // Refused before a number is drawn: the numbering goes on as if it had
    // never been asked for.
    if (message.Overflowed()) return Refuse(Info::IllegalMessageParameterCoding);
    message.SetNumber(NextMessageNumber());
    return Send(message);
}

uint16_t CCapiOperations::ConnectB3Req(uint32_t plci) {
    CMessageWriter message(HeaderApplId(), Command::ConnectB3, Subcommand::Req,
                           NextMessageNumber());
    message.U32(plci);
    message.EmptyStruct();  // NCPI
    return Send(message);
}

// Sent in the long form: on a 64-bit system only the 64-bit pointer can reach
// the block, and the library reads the data from it.
uint16_t CCapiOperations::DataB3Req(uint32_t ncci, const uint8_t* data, uint16_t length) {
    if (length > kMaxBDataLength || (data == nullptr && length > 0)) {
        return Refuse(Info::IllegalMessageParameterCoding);
    }
    const uint16_t number = NextMessageNumber();
    CMessageWriter message(HeaderApplId(), Command::DataB3, Subcommand::Req, number);
    message.U32(ncci);
    message.U32(0);  // Data32
    message.U16(length);
    message.U16(number);  // the data handle, by which DATA_B3_CONF finds the block
    message.U16(0);       // flags
    message.U64(reinterpret_cast<uintptr_t>(data));
    return Send(message);
}

uint16_t CCapiOperations::DisconnectB3Req(uint32_t ncci) {
    CMessageWriter message(HeaderApplId(), Command::DisconnectB3, Subcommand::Req,
                           NextMessageNumber());
    message.U32(ncci);
    message.EmptyStruct();  // NCPI
    return Send(message);
}

uint16_t CCapiOperations::DisconnectReq(uint32_t plci) {
    CMessageWriter message(HeaderApplId(), Command::Disconnect, Subcommand::Req,
                           NextMessageNumber());
    message.U32(plci);
    message.EmptyStruct();  // additional info
    return Send(message);
}

uint16_t CCapiOperations::ConnectResp(uint16_t number, uint32_t plci) {
    CMessageWriter message(HeaderApplId(), Command::Connect, Subcommand::Resp, number);
    message.U32(plci & kLowWord);
    message.U16(kRejectIgnore);
    message.EmptyStruct();  // B protocol
    message.EmptyStruct();  // connected number
    message.EmptyStruct();  // connected subaddress
    message.StructOf(kRejectLlc, sizeof kRejectLlc);
    message.EmptyStruct();  // additional info
    return Send(message);
}

uint16_t CCapiOperations::ConnectActiveResp(uint16_t number, uint32_t plci) {
    return SendPlciOnly(Command::ConnectActive, Subcommand::Resp, number, plci);
}

uint16_t CCapiOperations::ConnectB3Resp(uint32_t ncci) {
    CMessageWriter message(HeaderApplId(), Command::ConnectB3, Subcommand::Resp,
                           NextMessageNumber());
    message.U32(ncci);
    message.U16(kAccept);
    message.EmptyStruct();  // NCPI
    return Send(message);
}

uint16_t CCapiOperations::ConnectB3ActiveResp(uint32_t ncci) {
    return SendAddressOnly(Command::ConnectB3Active, Subcommand::Resp, ncci);
}

uint16_t CCapiOperations::DataB3Resp(uint32_t ncci, uint16_t handle) {
    CMessageWriter message(HeaderApplId(), Command::DataB3, Subcommand::Resp, NextMessageNumber());
    message.U32(ncci);
    message.U16(handle);
    return Send(message);
}

uint16_t CCapiOperations::DisconnectResp(uint32_t plci) {
    return SendPlciOnly(Command::Disconnect, Subcommand::Resp, NextMessageNumber(), plci);
}

uint16_t CCapiOperations::InfoResp(uint32_t plci) {
    return SendPlciOnly(Command::Info, Subcommand::Resp, NextMessageNumber(), plci);
}

// Responses addressed to a PLCI carry its low 16 bits only.
uint16_t CCapiOperations::SendPlciOnly(uint8_t command, uint8_t subcommand, uint16_t number,
                                       uint32_t plci) {
    CMessageWriter message(HeaderApplId(), command, subcommand, number);
    message.U32(plci & kLowWord);
    return Send(message);
}

uint16_t CCapiOperations::SendAddressOnly(uint8_t command, uint8_t subcommand, uint32_t address) {
    CMessageWriter message(HeaderApplId(), command, subcommand, NextMessageNumber());
    message.U32(address);
    return Send(message);
}

// -------------------------------------------------------------------- dispatch

void CCapiOperations::DispatchCapiMessage(const uint8_t* message) {
    if (message == nullptr) return;
    const size_t length = static_cast<size_t>(message[0] | message[1] << 8);
    // The library's buffer holds the whole message, and DATA_B3 data after it.
    Dispatch(CMessageReader(message, length), SIZE_MAX);
}

void CCapiOperations::DispatchCapiMessage(const uint8_t* message, size_t available) {
    if (message == nullptr || available < 2) return;
    const size_t length = static_cast<size_t>(message[0] | message[1] << 8);
    if (length > available) return;
    Dispatch(CMessageReader(message, length), available - length);
}

// Received messages are untrusted: one that is shorter than its parameters,
// or whose structures run past its end, is dropped without a handler call.
void CCapiOperations::Dispatch(const CMessageReader& message, size_t trailing) {
    if (message.Length() < kHeaderLength) return;
    const uint8_t command = *message.U8(4);
    const uint8_t subcommand = *message.U8(5);
    if (subcommand == Subcommand::Conf) {
        DispatchConf(message, command);
    } else if (subcommand == Subcommand::Ind) {
        DispatchInd(message, command, trailing);
    }
}

bool CCapiOperations::DispatchConf(const CMessageReader& message, uint8_t command) {
    const uint16_t number = *message.U16(6);
    const auto address = message.U32(8);
    const auto word = message.U16(12);
    if (!address || !word) return false;
    if (command == Command::DataB3) {
        const auto info = message.U16(14);
        if (!info) return false;
        OnDataB3Conf(number, *address, *word, *info);
        return true;
    }
    for (const ConfRoute& route : kConfRoutes) {
        if (route.command != command) continue;
        (this->*route.handler)(number, *address, *word);
        return true;
    }
    return false;
}

void CCapiOperations::DispatchInd(const CMessageReader& message, uint8_t command, size_t trailing) {
    switch (command) {
        case Command::ConnectActive:
            DispatchConnectActiveInd(message);
            break;
        case Command::DataB3:
            DispatchDataB3Ind(message, trailing);
            break;
        case Command::Connect:
        case Command::Disconnect:
        case Command::Info:
        case Command::ConnectB3:
        case Command::ConnectB3Active:
            DispatchSimpleInd(message, command);
            break;
        default:
            // DISCONNECT_B3_IND, RESET_B3_IND, FACILITY_IND, MANUFACTURER_IND and
            // the rest need neither a handler nor an answer here.
            break;
    }
}

void CCapiOperations::DispatchSimpleInd(const CMessageReader& message, uint8_t command) {
    const uint16_t number = *message.U16(6);
    const auto address = message.U32(8);
    if (!address) return;
    if (command == Command::Connect) {
        // The program takes no calls: every offered call is ignored at once.
        ConnectResp(number, *address);
    } else if (command == Command::Disconnect) {
        const auto reason = message.U16(12);
        if (reason) OnDisconnectInd(number, *address, *reason);
    } else if (command == Command::Info) {
        const auto infoNumber = message.U16(12);
        const auto element = message.Struct(14);
        if (infoNumber && element) OnInfoInd(number, *address, *infoNumber, element->start);
    } else if (command == Command::ConnectB3) {
        OnConnectB3Ind(number, *address);
    } else {
        OnConnectB3ActiveInd(number, *address);
    }
}

void CCapiOperations::DispatchConnectActiveInd(const CMessageReader& message) {
    const uint16_t number = *message.U16(6);
    const auto plci = message.U32(8);
    if (!plci) return;
    const auto connectedNumber = message.Struct(12);
    if (!connectedNumber) return;
    const auto connectedSubaddress = message.Struct(12 + connectedNumber->size);
    if (!connectedSubaddress) return;
    const std::optional<std::string> numberText = ConnectedNumberText(*connectedNumber);
    const std::optional<std::string> subaddressText = ConnectedSubaddressText(*connectedSubaddress);
    OnConnectActiveInd(number, *plci, TextOrNull(numberText), TextOrNull(subaddressText));
}

// The library hands DATA_B3_IND over in the long form with Data64 pointing into
// its own buffer (Data32 means nothing on a 64-bit system). Without a 64-bit
// pointer the data is taken to follow the message, as on the wire.
void CCapiOperations::DispatchDataB3Ind(const CMessageReader& message, size_t trailing) {
    if (message.Length() < kDataB3ShortLength) return;
    const uint16_t number = *message.U16(6);
    const uint32_t ncci = *message.U32(8);
    const uint16_t length = *message.U16(16);
    const uint16_t handle = *message.U16(18);
    const uint16_t flags = *message.U16(20);
    const uint8_t* data = nullptr;
    if (message.Length() >= kDataB3LongLength) {
        data = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(*message.U64(22)));
    }
    if (data == nullptr) {
        if (length > trailing) return;
        data = message.Data() + message.Length();
    }
    OnDataB3Ind(number, ncci, data, length, handle, flags);
}

// ------------------------------------------------------------- base handlers

void CCapiOperations::OnAlertConf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnConnectConf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnConnectB3Conf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnDataB3Conf(uint16_t, uint32_t, uint16_t, uint16_t) {}
void CCapiOperations::OnDisconnectB3Conf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnDisconnectConf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnInfoConf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnListenConf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnResetB3Conf(uint16_t, uint32_t, uint16_t) {}
void CCapiOperations::OnSelectBProtocolConf(uint16_t, uint32_t, uint16_t) {}

void CCapiOperations::OnInfoInd(uint16_t, uint32_t plci, uint16_t, const uint8_t*) {
    InfoResp(plci);
}

// The base application wants no call: it clears every call that becomes active.
void CCapiOperations::OnConnectActiveInd(uint16_t number, uint32_t plci, const char*, const char*) {
    ConnectActiveResp(number, plci);
    DisconnectReq(plci);
}

void CCapiOperations::OnConnectB3Ind(uint16_t, uint32_t ncci) {
    ConnectB3Resp(ncci);
}

void CCapiOperations::OnConnectB3ActiveInd(uint16_t, uint32_t ncci) {
    ConnectB3ActiveResp(ncci);
}

void CCapiOperations::OnDisconnectInd(uint16_t, uint32_t plci, uint16_t) {
    DisconnectResp(plci);
}

void CCapiOperations::OnDataB3Ind(uint16_t, uint32_t ncci, const uint8_t*, uint16_t,
                                  uint16_t handle, uint16_t) {
    DataB3Resp(ncci, handle);
}

}  // namespace capi
