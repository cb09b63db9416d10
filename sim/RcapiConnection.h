#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "sim/RcapiFramer.h"

namespace sim {

class CCapiMessage;
class CIsdnExchange;
class CPbxSite;
class CSimOptions;

// One TCP connection of the remote-CAPI library: the information requests,
// a registration, and then the messages of that one application. It runs on
// its own thread, so a stuck or broken application never holds up another.
class CRcapiConnection {
public:
    CRcapiConnection(int fd, const CSimOptions& options, CPbxSite& site);
    ~CRcapiConnection();
    CRcapiConnection(const CRcapiConnection&) = delete;
    CRcapiConnection& operator=(const CRcapiConnection&) = delete;

    void Start();
    // Ends the connection and waits for its thread.
    void Stop();
    bool Finished() const { return m_bFinished.load(); }

    // The answer to a control request (first byte of the body's command at
    // offset 4, 0xff at offset 5), or nothing when the body is none.
    struct ControlResult {
        std::vector<uint8_t> reply;
        bool registered = false;
        uint16_t maxBlocks = 0;
        uint16_t maxBlockLen = 0;
    };
    static bool IsControl(std::span<const uint8_t> body);
    static ControlResult Control(std::span<const uint8_t> body);

private:
    void Run();
    bool ReadSome();
    bool HandleBody(const std::vector<uint8_t>& body);
    bool WriteFrame(std::span<const uint8_t> body);
    void Log(const char* direction, std::span<const uint8_t> body) const;

    int m_fd;
    int m_wakeFd;
    const CSimOptions& m_options;
    CPbxSite& m_site;
    CRcapiFramer m_framer;
    std::unique_ptr<CIsdnExchange> m_exchange;
    std::thread m_thread;
    std::atomic<bool> m_bFinished{false};
    bool m_bBroken = false;
};

}  // namespace sim
