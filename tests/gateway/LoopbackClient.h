#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace gatewaytest {

// A browser stand-in on the same thread as the server: fully non-blocking,
// advanced by Pump() while the test runs the event loop, so that neither side
// waits for the other.
class LoopbackClient {
public:
    explicit LoopbackClient(unsigned port, std::string request = {})
        : m_outgoing(std::move(request)) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(static_cast<uint16_t>(port));
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 ||
            (::connect(m_fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 &&
             errno != EINPROGRESS)) {
            m_failed = true;
        }
    }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;
    ~LoopbackClient() {
        if (m_fd >= 0) ::close(m_fd);
    }

    // Queues more bytes to send.
    void Send(const std::string& bytes) { m_outgoing += bytes; }

    // Advances the connection: finishes connecting, sends what it can, and
    // reads what has arrived. Returns Done().
    bool Pump() {
        if (m_failed || m_fd < 0) return Done();
        if (!m_connected && !FinishConnect()) return Done();
        SendSome();
        ReadSome();
        return Done();
    }

    // The server closed (end of data or reset), or the connection failed.
    bool Done() const { return m_eof || m_failed; }
    bool Connected() const { return m_connected; }
    bool Reset() const { return m_reset; }
    bool AllSent() const { return m_outgoing.size() == m_sent; }
    const std::string& Received() const { return m_received; }

    void ShutdownWrite() { ::shutdown(m_fd, SHUT_WR); }
    // Closes so that the server sees a reset rather than an orderly end.
    void CloseWithReset() {
        linger hard{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(m_fd);
        m_fd = -1;
    }
    void CloseNow() {
        ::close(m_fd);
        m_fd = -1;
    }

private:
    bool FinishConnect() {
        pollfd entry{m_fd, POLLOUT, 0};
        if (::poll(&entry, 1, 0) <= 0) return false;
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            m_failed = true;
            return false;
        }
        m_connected = true;
        return true;
    }

    void SendSome() {
        while (m_sent < m_outgoing.size() && !m_sendFailed) {
            const ssize_t count = ::send(m_fd, m_outgoing.data() + m_sent,
                                         m_outgoing.size() - m_sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (count > 0) {
                m_sent += static_cast<size_t>(count);
            } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                return;
            } else {
                // The server closed while we were still sending; what it
                // answered can still be read.
                m_sendFailed = true;
            }
        }
    }

    void ReadSome() {
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (count > 0) {
                m_received.append(buffer, static_cast<size_t>(count));
                continue;
            }
            if (count == 0) {
                m_eof = true;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_eof = true;
                m_reset = true;
            }
            return;
        }
    }

    int m_fd = -1;
    std::string m_outgoing;
    size_t m_sent = 0;
    std::string m_received;
    bool m_connected = false;
    bool m_failed = false;
    bool m_sendFailed = false;
    bool m_eof = false;
    bool m_reset = false;
};

}  // namespace gatewaytest
