#include "platform/AsyncSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

namespace platform {
namespace {

// A peer that keeps sending while we close must not keep the GUI thread
// reading; what is left after this much is dropped with the connection.
constexpr size_t kDrainLimit = 256 * 1024;
constexpr size_t kDrainChunk = 2048;

bool IsRetryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket() {
    Close();
}

bool CAsyncSocket::Fail() {
    m_nLastError = errno;
    return false;
}

bool CAsyncSocket::Create(unsigned port, long events, const char* address) {
    if (IsValid() || port > 0xFFFF) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address ? address : "0.0.0.0", &local.sin_addr) != 1) {
        m_nLastError = EINVAL;
        return false;
    }
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0) return Fail();
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Fail();
        ::close(handle);
        return false;
    }
    Attach(handle, events);
    return true;
}

bool CAsyncSocket::GetSockName(std::string& address, unsigned& port) const {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!IsValid() || ::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &local.sin_addr, text, sizeof text)) return false;
    address = text;
    port = ntohs(local.sin_port);
    return true;
}

bool CAsyncSocket::Listen(int backlog) {
    if (!IsValid()) return false;
    if (::listen(m_hSocket, backlog) != 0) return Fail();
    m_bListening = true;
    UpdateNotifiers();
    return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& connected) {
    if (!IsValid() || connected.IsValid()) return false;
    const int handle = ::accept4(m_hSocket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (handle < 0) return Fail();
    connected.Attach(handle, FD_READ | FD_WRITE | FD_CLOSE);
    return true;
}

void CAsyncSocket::Attach(int handle, long events) {
    m_hSocket = handle;
    m_lEvents = events;
    m_bListening = false;
    m_bCloseSeen = false;
    m_bWantWrite = false;
    // Without an event loop on this thread (a plain worker, or a program
    // without an application object) the socket works, unannounced.
    if (QAbstractEventDispatcher::instance() != nullptr) {
        m_pReadNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
        m_pWriteNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Write);
        QObject::connect(m_pReadNotifier.get(), &QSocketNotifier::activated,
                         [this] { OnReadable(); });
        QObject::connect(m_pWriteNotifier.get(), &QSocketNotifier::activated,
                         [this] { OnWritable(); });
    }
    UpdateNotifiers();
}

bool CAsyncSocket::AsyncSelect(long events) {
    if (!IsValid()) return false;
    m_lEvents = events;
    UpdateNotifiers();
    return true;
}

void CAsyncSocket::UpdateNotifiers() {
    if (!m_pReadNotifier || !m_pWriteNotifier) return;
    const bool readable = m_bListening ? (m_lEvents & FD_ACCEPT) != 0
                                       : (m_lEvents & (FD_READ | FD_CLOSE)) != 0 && !m_bCloseSeen;
    const bool writable = !m_bListening && (m_lEvents & FD_WRITE) != 0 && m_bWantWrite;
    m_pReadNotifier->setEnabled(IsValid() && readable);
    m_pWriteNotifier->setEnabled(IsValid() && writable);
}

void CAsyncSocket::OnReadable() {
    if (m_bListening) {
        OnAccept(0);
        return;
    }
    char probe = 0;
    const ssize_t peeked = ::recv(m_hSocket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0) {
        if ((m_lEvents & FD_READ) != 0) {
            OnReceive(0);
        } else {
            // Data but reads are off: it waits in the system; without this
            // the level-triggered notifier would fire without pause.
            m_pReadNotifier->setEnabled(false);
        }
        return;
    }
    if (peeked < 0 && IsRetryable(errno)) return;
    const int error = peeked == 0 ? 0 : errno;
    // The end stays readable for ever: announce it once.
    m_bCloseSeen = true;
    UpdateNotifiers();
    if ((m_lEvents & FD_CLOSE) != 0) OnClose(error);
}

void CAsyncSocket::OnWritable() {
    m_bWantWrite = false;
    UpdateNotifiers();
    OnSend(0);
}

int CAsyncSocket::Receive(void* buffer, int length, int flags) {
    if (!IsValid() || length < 0) {
        m_nLastError = EBADF;
        return -1;
    }
    const ssize_t count =
        ::recv(m_hSocket, buffer, static_cast<size_t>(length), flags | MSG_DONTWAIT);
    if (count < 0) {
        Fail();
        return -1;
    }
    return static_cast<int>(count);
}

int CAsyncSocket::Send(const void* buffer, int length, int flags) {
    if (!IsValid() || length < 0) {
        m_nLastError = EBADF;
        return -1;
    }
    // A browser that went away must give an error here, not kill the process.
    const ssize_t count =
        ::send(m_hSocket, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL | MSG_DONTWAIT);
    if (count < 0) {
        Fail();
        if (WouldBlock() && !m_bWantWrite) {
            m_bWantWrite = true;
            UpdateNotifiers();
        }
        return -1;
    }
    return static_cast<int>(count);
}

bool CAsyncSocket::WouldBlock() const {
    return m_nLastError == EAGAIN || m_nLastError == EWOULDBLOCK;
}

bool CAsyncSocket::WaitWritable(int timeoutMs) const {
    if (!IsValid()) return false;
    pollfd entry{m_hSocket, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, std::max(timeoutMs, 0));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

bool CAsyncSocket::SendAll(const char* data, size_t length, int boundMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(boundMs, 0));
    size_t sent = 0;
    while (sent < length) {
        const auto chunk = static_cast<int>(std::min(length - sent, size_t{INT_MAX}));
        const int count = Send(data + sent, chunk);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            continue;
        }
        if (count == 0 || !WouldBlock()) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitWritable(static_cast<int>(left.count()))) return false;
    }
    return true;
}

bool CAsyncSocket::ShutDown(int how) {
    if (!IsValid()) return false;
    const int direction = how == SD_RECEIVE ? SHUT_RD : how == SD_SEND ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(m_hSocket, direction) != 0) return Fail();
    return true;
}

void CAsyncSocket::ShutdownAndDrain() {
    if (!IsValid()) return;
    ShutDown(SD_SEND);
    char buffer[kDrainChunk];
    size_t drained = 0;
    while (drained < kDrainLimit) {
        const int count = Receive(buffer, static_cast<int>(sizeof buffer));
        if (count <= 0) break;
        drained += static_cast<size_t>(count);
    }
}

void CAsyncSocket::Close() {
    // The notifiers must go before the descriptor: the event loop must never
    // watch a number that may already belong to another file.
    m_pReadNotifier.reset();
    m_pWriteNotifier.reset();
    if (IsValid()) ::close(m_hSocket);
    m_hSocket = -1;
    m_bListening = false;
    m_lEvents = 0;
}

}  // namespace platform
