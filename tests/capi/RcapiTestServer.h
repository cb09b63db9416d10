#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/capi/HexBytes.h"

namespace capi::test {

// A small remote-CAPI server on loopback for tests against the real library.
// Frames in both directions: a big-endian 16-bit length that counts itself,
// then the body. It answers the library's control requests itself and hands
// every application message to the test's handler.
class RcapiTestServer {
public:
    using Handler = std::function<void(RcapiTestServer& server, int connection, const Bytes& body)>;

    explicit RcapiTestServer(Handler handler);
    ~RcapiTestServer();
    RcapiTestServer(const RcapiTestServer&) = delete;
    RcapiTestServer& operator=(const RcapiTestServer&) = delete;

    int Port() const { return m_nPort; }
    // Sends one application message (and data after it) in one frame.
    void Send(int connection, const Bytes& body);
    // Closes the connection the application registered on.
    void CloseApplicationConnection();
    int RegisteredConnections() const { return m_nRegistered; }
    // Connections that ended (closed by the library, or by us).
    int EndedConnections() const { return m_nEnded; }

private:
    void AcceptLoop();
    void Serve(int connection);
    bool AnswerControl(int connection, const Bytes& body);

    Handler m_Handler;
    int m_nListenFd = -1;
    int m_nPort = 0;
    int m_StopPipe[2] = {-1, -1};
    std::thread m_AcceptThread;
    std::mutex m_Lock;
    std::vector<std::thread> m_Threads;
    std::vector<int> m_Connections;
    int m_nApplicationFd = -1;
    std::atomic<int> m_nRegistered{0};
    std::atomic<int> m_nEnded{0};
};

}  // namespace capi::test
