#include "bench/HttpTimer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

int ConnectLocal(unsigned port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& bytes, int boundMs) {
    size_t done = 0;
    pollfd writable{fd, POLLOUT, 0};
    while (done < bytes.size()) {
        if (poll(&writable, 1, boundMs) <= 0) return false;
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Splits off the head once it is complete and reads its Content-Length.
void TakeHead(Transfer& t, std::string& pending) {
    const auto end = pending.find("\r\n\r\n");
    if (end == std::string::npos) return;
    t.headBytes = end + 4;
    t.head = pending.substr(0, end);
    const auto length = t.head.find("Content-Length: ");
    if (length != std::string::npos)
        t.contentLength = std::strtoul(t.head.c_str() + length + 16, nullptr, 10);
    pending.erase(0, t.headBytes);
}

}  // namespace

Transfer TimedExchange(unsigned port, const std::string& request, bool keepBody, int boundMs) {
    Transfer t;
    const int fd = ConnectLocal(port);
    if (fd < 0) return t;
    const auto start = Clock::now();
    auto last = start;
    if (SendAll(fd, request, boundMs)) {
        t.sentBytes = request.size();
        std::vector<char> buffer(65536);
        std::string pending;
        pollfd readable{fd, POLLIN, 0};
        while (poll(&readable, 1, boundMs) > 0) {
            const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
            if (got <= 0) break;
            last = Clock::now();
            const auto n = static_cast<size_t>(got);
            if (t.headBytes == 0) {
                pending.append(buffer.data(), n);
                TakeHead(t, pending);
                if (t.headBytes == 0) continue;
                t.bodyBytes += pending.size();
                if (keepBody) t.body += pending;
                pending.clear();
            } else {
                t.bodyBytes += n;
                if (keepBody) t.body.append(buffer.data(), n);
            }
        }
    }
    close(fd);
    t.seconds = std::chrono::duration<double>(last - start).count();
    return t;
}

}  // namespace bench
