#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// A loopback HTTP server that answers each path with bytes recorded from the
// PBX, with no line in between: what a browser engine needs for a page on its
// own, and how many bytes its requests carry.
class CReplayServer {
public:
    explicit CReplayServer(std::map<std::string, std::string> answers);
    ~CReplayServer();
    CReplayServer(const CReplayServer&) = delete;
    CReplayServer& operator=(const CReplayServer&) = delete;

    unsigned Port() const { return m_nPort; }
    // Requests served and their bytes since the last call.
    void TakeCounts(size_t& requests, size_t& bytes);

private:
    void AcceptLoop();
    void Serve(int fd);

    const std::map<std::string, std::string> m_answers;
    int m_listenFd = -1;
    unsigned m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::mutex m_lock;
    size_t m_nRequests = 0;
    size_t m_nRequestBytes = 0;
    std::vector<std::thread> m_connections;  // guarded by m_lock
    std::thread m_acceptor;
};

}  // namespace bench
