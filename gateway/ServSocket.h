#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/AsyncSocket.h"

class QTimer;

namespace gateway {

class CIsdnBridge;
class CClientSocket;

// The local listener on 127.0.0.1 with a port the system chooses. It accepts
// every browser connection and keeps it waiting, notifications off, until the
// bridge serves it; the bridge serves one connection at a time, oldest first.
class CServSocket final : public platform::CAsyncSocket {
public:
    // How long a served connection may stay unanswered while the relay is off
    // before it is closed so that the next one is served. The browser view
    // sends its request in the instant it connects, over loopback; 3 s is far
    // beyond that even on a loaded machine, and short enough that a stray
    // silent connection holds the status page up only briefly.
    static constexpr uint32_t kDefaultAnswerBoundMs = 3000;

    explicit CServSocket(CIsdnBridge* bridge);
    ~CServSocket() override;

    std::deque<std::unique_ptr<CClientSocket>> m_PendingSockets;  // oldest first
    unsigned m_nPort = 0;                                         // 0 while there is no listener
    std::string m_strAddress;
    CIsdnBridge* const m_pBridge;  // not owned
    uint32_t m_nAnswerBoundMs = kDefaultAnswerBoundMs;

protected:
    void OnAccept(int nErrorCode) override;

private:
    void PauseAccepting();

    std::unique_ptr<QTimer> m_pResumeTimer;
};

}  // namespace gateway
