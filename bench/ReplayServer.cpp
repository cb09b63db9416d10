#include "bench/ReplayServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

CReplayServer::CReplayServer(std::map<std::string, std::string> answers)
    : m_answers(std::move(answers)) {
    m_listenFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(m_listenFd, 16) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    m_nPort = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

CReplayServer::~CReplayServer() {
    m_bStop = true;
    if (m_acceptor.joinable()) m_acceptor.join();
    for (auto& connection : m_connections) connection.join();
    if (m_listenFd >= 0) close(m_listenFd);
}

void CReplayServer::TakeCounts(size_t& requests, size_t& bytes) {
    std::lock_guard guard(m_lock);
    requests = m_nRequests;
    bytes = m_nRequestBytes;
    m_nRequests = 0;
    m_nRequestBytes = 0;
}

void CReplayServer::AcceptLoop() {
    pollfd listening{m_listenFd, POLLIN, 0};
    while (!m_bStop) {
        if (poll(&listening, 1, 50) <= 0) continue;
        const int fd = accept(m_listenFd, nullptr, nullptr);
        if (fd < 0) continue;
        // The engine may open connections it never uses; each gets a thread
        // so that an idle one holds up no other.
        std::lock_guard guard(m_lock);
        m_connections.emplace_back([this, fd] { Serve(fd); });
    }
}

void CReplayServer::Serve(int fd) {
    std::string request;
    char buffer[4096];
    pollfd readable{fd, POLLIN, 0};
    while (!m_bStop && request.find("\r\n\r\n") == std::string::npos) {
        const int ready = poll(&readable, 1, 50);
        if (ready < 0) break;
        if (ready == 0) continue;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<size_t>(got));
    }
    const auto space = request.find(' ');
    const auto end = request.find(' ', space + 1);
    if (space != std::string::npos && end != std::string::npos) {
        const auto answer = m_answers.find(request.substr(space + 1, end - space - 1));
        const std::string reply = answer != m_answers.end()
                                      ? answer->second
                                      : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
                                        "Connection: close\r\n\r\n";
        {
            std::lock_guard guard(m_lock);
            ++m_nRequests;
            m_nRequestBytes += request.size();
        }
        for (size_t done = 0; done < reply.size();) {
            const ssize_t n = send(fd, reply.data() + done, reply.size() - done, MSG_NOSIGNAL);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    shutdown(fd, SHUT_WR);
    close(fd);
}

}  // namespace bench
