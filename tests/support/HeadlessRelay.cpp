#include "tests/support/HeadlessRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "gateway/StatusEvent.h"

namespace testsupport {

CHeadlessRelay::CHeadlessRelay(gateway::BridgeParts parts) {
    m_app.SetMainWindow(this);
    m_pBridge = std::make_unique<gateway::CIsdnBridge>(&m_app, std::move(parts));
}

CHeadlessRelay::~CHeadlessRelay() {
    ClosePort();
    m_app.SetMainWindow(nullptr);
    m_pBridge.reset();
}

intptr_t CHeadlessRelay::OnCopyData(const platform::COPYDATASTRUCT& record) {
    const auto* bytes = static_cast<const uint8_t*>(record.lpData);
    if (record.cbData == 12 && bytes[0] == gateway::RELAY_STATUS) {
        m_statuses.push_back(gateway::StatusEvent::StatusOf(bytes));
    }
    return m_relay.OnCopyData(m_pBridge.get(), record);
}

void CHeadlessRelay::OnMessage(unsigned message) {
    m_relay.OnMessage(m_pBridge.get(), message);
}

std::string HttpExchange(unsigned port, const std::string& request, int boundMs, size_t stopAfter) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[16384];
        pollfd readable{fd, POLLIN, 0};
        while (reply.size() < stopAfter && poll(&readable, 1, boundMs) > 0) {
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            reply.append(buffer, static_cast<size_t>(got));
        }
    }
    close(fd);
    return reply;
}

}  // namespace testsupport
