#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/CapiInterface.h"

namespace capi {

class CMessageReader;
class CMessageWriter;

// The CAPI application: registration with its receive thread, the senders of
// every message the system uses, and one virtual handler per received kind.
//
// A derived class whose handlers use its own members must call StopCapi in
// its own destructor: once it has run, the receive thread would reach the
// base handlers only.
class CCapiOperations : public CCapiInterface {
public:
    // Every wait for the receive thread to end is bounded by this.
    static constexpr uint32_t kThreadWaitMs = 5000;
    // Failed waits or fetches in a row after which the connection to CAPI is
    // taken as lost, so that a library that keeps failing cannot make the
    // receive loop spin.
    static constexpr unsigned kMaxFailuresInRow = 64;

    CCapiOperations();
    explicit CCapiOperations(const CapiEntryPoints* table);
    explicit CCapiOperations(const std::string& libraryFile);
    ~CCapiOperations() override;

    // 0 when registered and the receive thread runs, 1 otherwise (the CAPI
    // result is then in m_dwLastResult).
    int StartCapi();
    // Releases the application and waits (bounded) for the receive thread.
    int StopCapi();

    uint16_t NextMessageNumber();
    // True while a receive thread has been started and has not yet ended.
    bool ReceiveThreadRunning() const;

    uint16_t ConnectReq(const char* called, const char* own, const uint8_t* callingSubaddress,
                        const uint8_t* bProtocol);
    uint16_t ConnectB3Req(uint32_t plci);
    uint16_t DataB3Req(uint32_t ncci, const uint8_t* data, uint16_t length);
    uint16_t DisconnectB3Req(uint32_t ncci);
    uint16_t DisconnectReq(uint32_t plci);
    uint16_t ConnectResp(uint16_t number, uint32_t plci);
    uint16_t ConnectActiveResp(uint16_t number, uint32_t plci);
    uint16_t ConnectB3Resp(uint32_t ncci);
    uint16_t ConnectB3ActiveResp(uint32_t ncci);
    uint16_t DataB3Resp(uint32_t ncci, uint16_t handle);
    uint16_t DisconnectResp(uint32_t plci);
    uint16_t InfoResp(uint32_t plci);

    // Decodes one message received from the library (it lies in the library's
    // buffer, whose extent the header's length gives) and calls its handler.
    void DispatchCapiMessage(const uint8_t* message);
    // The same for a message of which only `available` bytes may be read.
    void DispatchCapiMessage(const uint8_t* message, size_t available);

    static uint32_t ReceiveThreadProc(CCapiOperations* self);
    uint32_t ReceiveLoop();

    // CAPI result of the latest registration or send; 0 is success.
    std::atomic<uint32_t> m_dwLastResult{0};

    // Handlers, called on the receive thread one message at a time. Pointers
    // into the message are valid until the handler returns.
    virtual void OnAlertConf(uint16_t number, uint32_t plci, uint16_t info);
    virtual void OnConnectConf(uint16_t number, uint32_t plci, uint16_t info);
    virtual void OnConnectB3Conf(uint16_t number, uint32_t ncci, uint16_t info);
    virtual void OnDataB3Conf(uint16_t number, uint32_t ncci, uint16_t handle, uint16_t info);
    virtual void OnDisconnectB3Conf(uint16_t number, uint32_t ncci, uint16_t info);
    virtual void OnDisconnectConf(uint16_t number, uint32_t plci, uint16_t info);
    virtual void OnInfoConf(uint16_t number, uint32_t plci, uint16_t info);
    virtual void OnListenConf(uint16_t number, uint32_t controller, uint16_t info);
    virtual void OnResetB3Conf(uint16_t number, uint32_t ncci, uint16_t info);
    virtual void OnSelectBProtocolConf(uint16_t number, uint32_t plci, uint16_t info);
    virtual void OnInfoInd(uint16_t number, uint32_t plci, uint16_t infoNumber,
                           const uint8_t* infoElement);
    virtual void OnConnectActiveInd(uint16_t number, uint32_t plci, const char* connectedNumber,
                                    const char* connectedSubaddress);
    virtual void OnConnectB3Ind(uint16_t number, uint32_t ncci);
    virtual void OnConnectB3ActiveInd(uint16_t number, uint32_t ncci);
    virtual void OnDisconnectInd(uint16_t number, uint32_t plci, uint16_t reason);
    virtual void OnDataB3Ind(uint16_t number, uint32_t ncci, const uint8_t* data, uint16_t length,
                             uint16_t handle, uint16_t flags);
    // The connection to CAPI has ended under the registration (a remote
    // server went away). Called once, on the receive thread, which ends after
    // it. The base releases the application.
    virtual void OnConnectionLost();

protected:
    // Waits for every receive thread of this object to end (bounded, then
    // for as long as a handler still runs). A derived class calls it after
    // StopCapi in its destructor, before its own members go.
    void EndReceiveThreads();

private:
    struct ReceiveState;

    uint16_t Send(CMessageWriter& message);
    uint16_t SendPlciOnly(uint8_t command, uint8_t subcommand, uint16_t number, uint32_t plci);
    uint16_t SendAddressOnly(uint8_t command, uint8_t subcommand, uint32_t address);
    uint16_t Refuse(uint32_t result);
    uint16_t HeaderApplId() const;

    void Dispatch(const CMessageReader& message, size_t trailing);
    bool DispatchConf(const CMessageReader& message, uint8_t command);
    void DispatchInd(const CMessageReader& message, uint8_t command, size_t trailing);
    void DispatchConnectActiveInd(const CMessageReader& message);
    void DispatchDataB3Ind(const CMessageReader& message, size_t trailing);
    void DispatchSimpleInd(const CMessageReader& message, uint8_t command);

    bool IsReceiveThread() const;
    bool WaitForReceiveThread(uint32_t timeoutMs);
    void JoinReceiveThread();
    void RetireReceiveThread();
    void JoinRetiredThreads(bool finishedOnly);

    std::atomic<uint16_t> m_wMessageNumber{kFirstMessageCounter};
    std::thread m_ReceiveThread;
    std::atomic<std::thread::id> m_ReceiveThreadId{};
    // Shared with the receive thread, so that it can tell that a handler
    // destroyed the object and leave without touching it.
    std::shared_ptr<ReceiveState> m_pReceiveState;
    // Receive threads of earlier registrations that were still finishing
    // their last handler when a new registration began.
    struct RetiredThread {
        std::thread thread;
        std::shared_ptr<ReceiveState> state;
    };
    std::vector<RetiredThread> m_RetiredThreads;
};

}  // namespace capi
