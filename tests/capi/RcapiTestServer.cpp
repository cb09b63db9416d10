#include "tests/capi/RcapiTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace capi::test {
namespace {

constexpr uint8_t kRegister = 0xf2;

bool ReadAll(int fd, uint8_t* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = read(fd, buffer + done, length - done);
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

void WriteFrame(int fd, const Bytes& body) {
    Bytes frame;
    const size_t length = body.size() + 2;
    frame.push_back(static_cast<uint8_t>(length >> 8));
    frame.push_back(static_cast<uint8_t>(length));
    frame.insert(frame.end(), body.begin(), body.end());
    if (write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
        std::perror("rcapi test server write");
    }
}

}  // namespace

RcapiTestServer::RcapiTestServer(Handler handler) : m_Handler(std::move(handler)) {
    m_nListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(m_nListenFd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(m_nListenFd, 8) != 0 ||
        getsockname(m_nListenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        pipe(m_StopPipe) != 0) {
        std::perror("rcapi test server");
        return;
    }
    m_nPort = ntohs(address.sin_port);
    m_AcceptThread = std::thread([this] { AcceptLoop(); });
}

RcapiTestServer::~RcapiTestServer() {
    if (m_StopPipe[1] >= 0) close(m_StopPipe[1]);
    // Threads and connections are added only by the accept loop: end it first.
    if (m_AcceptThread.joinable()) m_AcceptThread.join();
    for (const int fd : m_Connections) shutdown(fd, SHUT_RDWR);
    for (std::thread& thread : m_Threads) thread.join();
    for (const int fd : m_Connections) close(fd);
    close(m_nListenFd);
    if (m_StopPipe[0] >= 0) close(m_StopPipe[0]);
}

void RcapiTestServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_nListenFd, POLLIN, 0}, {m_StopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
        const int connection = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        std::lock_guard lock(m_Lock);
        m_Connections.push_back(connection);
        m_Threads.emplace_back([this, connection] { Serve(connection); });
    }
}

void RcapiTestServer::Serve(int connection) {
    for (;;) {
        uint8_t header[2];
        if (!ReadAll(connection, header, 2)) break;
        const size_t length = static_cast<size_t>(header[0] << 8 | header[1]);
        if (length < 2) break;
        Bytes body(length - 2);
        if (!ReadAll(connection, body.data(), body.size())) break;
        if (!AnswerControl(connection, body)) m_Handler(*this, connection, body);
    }
    ++m_nEnded;
}

// Control requests: 00 00 00 00 <cmd> ff 00 00 <controller LE32> ...; the reply
// carries <cmd+1>, an info word of 0 and a payload of zeros (one controller).
bool RcapiTestServer::AnswerControl(int connection, const Bytes& body) {
    if (body.size() < 12 || body[5] != 0xff || body[0] != 0 || body[1] != 0) return false;
    const uint8_t command = body[4];
    Bytes reply = {0, 0, 0, 0, static_cast<uint8_t>(command + 1), 0xff, 0, 0, 0, 0};
    if (command == kRegister) {
        {
            std::lock_guard lock(m_Lock);
            m_nApplicationFd = connection;
        }
        ++m_nRegistered;
        WriteFrame(connection, reply);
        return true;
    }
    const bool controllerCount = command == 0xe0 && body[8] == 0;
    Bytes payload(controllerCount ? 2 : 64, 0);
    if (controllerCount) payload[0] = 1;
    reply.insert(reply.end(), payload.begin(), payload.end());
    WriteFrame(connection, reply);
    return true;
}

void RcapiTestServer::Send(int connection, const Bytes& body) {
    WriteFrame(connection, body);
}

void RcapiTestServer::CloseApplicationConnection() {
    std::lock_guard lock(m_Lock);
    if (m_nApplicationFd >= 0) shutdown(m_nApplicationFd, SHUT_RDWR);
}

}  // namespace capi::test
