#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/CapiMessage.h"
#include "tests/support/SimProcess.h"

namespace simtest {

using testsupport::CSimProcess;

// A minimal CAPI application on the real libcapi20.so.3, loaded at run time
// and pointed at the simulator through the remote-CAPI driver.
class CCapiTestClient {
public:
    explicit CCapiTestClient(uint16_t port);
    ~CCapiTestClient();

    bool Register(unsigned blocks = 7, unsigned blockLen = 2048);
    void Release();
    unsigned ApplId() const { return m_applId; }

    // Puts a message; data (DATA_B3_REQ) is handed over through the 64-bit pointer.
    unsigned Put(const sim::CCapiMessage& message, const std::vector<uint8_t>& data = {});
    // The next message within the time-out; DATA_B3_IND data is copied behind
    // it and the indication answered at once unless autoResp is off.
    std::optional<sim::CCapiMessage> Get(std::chrono::milliseconds timeout);
    // Waits for a message of this command/subcommand, skipping others.
    std::optional<sim::CCapiMessage> WaitFor(
        uint8_t command, uint8_t subcommand,
        std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // True once the simulator has closed the application's connection.
    bool ConnectionClosed() const;

    uint16_t NextNumber() { return ++m_number; }
    bool autoResp = true;
    std::vector<sim::CCapiMessage> received;

    // Controller 1, CIP 2, called number 0x80 + digits, as the program sends it.
    sim::CCapiMessage ConnectReq(const std::string& number, uint16_t cip = 2);

    static std::string Manufacturer();
    static bool LibraryPresent();

private:
    unsigned m_applId = 0;
    uint16_t m_number = 1;
};

// A call through the simulator up to the B3 connection; then HTTP over the framing.
class CTestCall {
public:
    explicit CTestCall(CCapiTestClient& client) : m_client(client) {}
    bool Dial(const std::string& number);
    // Sends one frame as DATA_B3_REQ and waits for its confirmation's Info.
    std::optional<uint16_t> SendFrame(const std::vector<uint8_t>& frame);
    // One browser exchange: open, request in data frames, answer until close.
    std::optional<std::string> Fetch(const std::string& request, size_t piece = 2047);
    bool Hangup();
    uint32_t plci = 0;
    uint32_t ncci = 0;
    std::vector<size_t> frameSizes;

private:
    CCapiTestClient& m_client;
};

}  // namespace simtest
