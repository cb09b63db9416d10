#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capi/CapiOperations.h"

namespace capi::test {

// Records every handler call as a line of text, then does what the base class
// does, so that a test sees both the decoding and the base answers.
class RecordingOperations : public CCapiOperations {
public:
    using CCapiOperations::CCapiOperations;
    ~RecordingOperations() override { StopCapi(); }

    std::vector<std::string> Calls() const;
    std::atomic<int> connectionLost{0};
    // Runs inside every handler after recording (on the receive thread).
    std::function<void(const std::string&)> onCall;

    void OnAlertConf(uint16_t number, uint32_t plci, uint16_t info) override;
    void OnConnectConf(uint16_t number, uint32_t plci, uint16_t info) override;
    void OnConnectB3Conf(uint16_t number, uint32_t ncci, uint16_t info) override;
    void OnDataB3Conf(uint16_t number, uint32_t ncci, uint16_t handle, uint16_t info) override;
    void OnDisconnectB3Conf(uint16_t number, uint32_t ncci, uint16_t info) override;
    void OnDisconnectConf(uint16_t number, uint32_t plci, uint16_t info) override;
    void OnInfoConf(uint16_t number, uint32_t plci, uint16_t info) override;
    void OnListenConf(uint16_t number, uint32_t controller, uint16_t info) override;
    void OnResetB3Conf(uint16_t number, uint32_t ncci, uint16_t info) override;
    void OnSelectBProtocolConf(uint16_t number, uint32_t plci, uint16_t info) override;
    void OnInfoInd(uint16_t number, uint32_t plci, uint16_t infoNumber,
                   const uint8_t* infoElement) override;
    void OnConnectActiveInd(uint16_t number, uint32_t plci, const char* connectedNumber,
                            const char* connectedSubaddress) override;
    void OnConnectB3Ind(uint16_t number, uint32_t ncci) override;
    void OnConnectB3ActiveInd(uint16_t number, uint32_t ncci) override;
    void OnDisconnectInd(uint16_t number, uint32_t plci, uint16_t reason) override;
    void OnDataB3Ind(uint16_t number, uint32_t ncci, const uint8_t* data, uint16_t length,
                     uint16_t handle, uint16_t flags) override;
    void OnConnectionLost() override;

private:
    void Record(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void RecordConf(const char* name, uint16_t number, uint32_t address, uint16_t info);

    mutable std::mutex m_Lock;
    std::vector<std::string> m_Calls;
};

}  // namespace capi::test
