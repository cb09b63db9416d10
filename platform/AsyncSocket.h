#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class QSocketNotifier;

namespace platform {

// Notification selections of an asynchronous socket (the classic socket
// message bits).
inline constexpr long FD_READ = 0x01;
inline constexpr long FD_WRITE = 0x02;
inline constexpr long FD_OOB = 0x04;
inline constexpr long FD_ACCEPT = 0x08;
inline constexpr long FD_CONNECT = 0x10;
inline constexpr long FD_CLOSE = 0x20;

// Directions for ShutDown.
inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

// A non-blocking TCP socket whose notifications (accept, read, write, close)
// arrive on the event loop of the thread that created it, the GUI thread.
//
// A handler may delete its own socket: after calling a handler the socket
// touches none of its members.
//
// The peer's close is seen as a readable socket that has no data but the end
// (or an error): OnClose is delivered once, after every byte that came before
// it was offered to OnReceive, and never followed by further read
// notifications.
//
// Write notifications come only after a Send reported would-block, once the
// socket takes data again; a writable socket is not announced over and over.
class CAsyncSocket {
public:
    CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;
    virtual ~CAsyncSocket();

    // Creates a stream socket bound to address:port (port 0: the system
    // chooses) and selects the given notifications.
    bool Create(unsigned port = 0, long events = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE,
                const char* address = "127.0.0.1");
    bool GetSockName(std::string& address, unsigned& port) const;
    bool Listen(int backlog = 5);
    // Accepts one waiting connection into an unused socket object; the new
    // socket selects read, write and close notifications.
    bool Accept(CAsyncSocket& connected);

    // Selects the notifications to deliver; 0 switches all of them off. The
    // data of a connection whose notifications are off stays in the system
    // until they are switched on again.
    bool AsyncSelect(long events);

    // Reads at most length bytes: the count, 0 at the peer's end, -1 on an
    // error (GetLastError; WouldBlock() when nothing is there yet).
    int Receive(void* buffer, int length, int flags = 0);
    // Writes at most length bytes: the count taken (possibly fewer than
    // given), or -1 on an error; WouldBlock() tells that the socket's buffer
    // is full and a later send may succeed.
    int Send(const void* buffer, int length, int flags = 0);
    // Waits at most timeoutMs until the socket takes data again (or has
    // failed, which the next Send reports).
    bool WaitWritable(int timeoutMs) const;
    // Writes all bytes, waiting for the socket to take more whenever it is
    // full; gives up when the socket fails or takes nothing for boundMs.
    bool SendAll(const char* data, size_t length, int boundMs);

    bool ShutDown(int how = SD_SEND);
    // Shuts the sending direction down and reads and discards what has
    // already arrived, so that closing does not reset a connection with
    // unread data; a peer that keeps sending is read only up to a bound.
    void ShutdownAndDrain();
    void Close();

    bool IsValid() const { return m_hSocket >= 0; }
    int Handle() const { return m_hSocket; }
    int GetLastError() const { return m_nLastError; }
    bool WouldBlock() const;

protected:
    virtual void OnReceive(int /*nErrorCode*/) {}
    virtual void OnSend(int /*nErrorCode*/) {}
    virtual void OnAccept(int /*nErrorCode*/) {}
    virtual void OnClose(int /*nErrorCode*/) {}

private:
    void Attach(int handle, long events);
    void UpdateNotifiers();
    void OnReadable();
    void OnWritable();
    bool Fail();

    int m_hSocket = -1;
    long m_lEvents = 0;
    int m_nLastError = 0;
    bool m_bListening = false;
    bool m_bCloseSeen = false;
    bool m_bWantWrite = false;
    std::unique_ptr<QSocketNotifier> m_pReadNotifier;
    std::unique_ptr<QSocketNotifier> m_pWriteNotifier;
};

}  // namespace platform
