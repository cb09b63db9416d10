#include "sim/RcapiServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "sim/RcapiConnection.h"

namespace sim {

CRcapiServer::CRcapiServer(CSimOptions options) : m_options(std::move(options)) {}

CRcapiServer::~CRcapiServer() {
    m_connections.clear();
    if (m_listenFd >= 0) close(m_listenFd);
}

uint16_t CRcapiServer::Listen() {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) return 0;
    const int on = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_options.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listenFd, 16) != 0)
        return 0;
    socklen_t length = sizeof address;
    if (getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

void CRcapiServer::Run(int stopFd) {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        // Wake now and then to join the threads of ended connections.
        if (poll(fds, 2, 500) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (fds[0].revents & POLLIN) Accept();
        Reap();
    }
    for (auto& connection : m_connections) connection->Stop();
    m_connections.clear();
}

void CRcapiServer::Accept() {
    const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        // Out of descriptors: the listener stays readable, so pause rather
        // than spin until a connection ends.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            poll(nullptr, 0, 100);
        }
        return;
    }
    if (m_connections.size() >= kMaxConnections) {
        close(fd);
        return;
    }
    const int on = 1;
    // Small CAPI messages must not wait for Nagle's algorithm.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<CRcapiConnection>(fd, m_options, m_site);
    try {
        connection->Start();
    } catch (const std::system_error&) {
        close(fd);  // no thread to be had: the connection is refused
        return;
    }
    m_connections.push_back(std::move(connection));
}

void CRcapiServer::Reap() {
    m_connections.remove_if(
        [](const std::unique_ptr<CRcapiConnection>& c) { return c->Finished(); });
}

}  // namespace sim
