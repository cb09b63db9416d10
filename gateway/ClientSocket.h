#pragma once

#include <cstdint>
#include <memory>

#include "platform/AsyncSocket.h"

class QTimer;

namespace gateway {

class CIsdnBridge;

// One browser connection: waiting in the listener's list (no bridge, not
// active, notifications off) or served as the bridge's current connection.
//
// The bridge's relay side writes to it with Send, which reports partial
// writes and would-block, and WaitWritable or SendAll to wait with a bound.
class CClientSocket final : public platform::CAsyncSocket {
public:
    // One read of the browser: with the frame type byte it fills one
    // B-channel block of 2048 bytes.
    static constexpr int kReadSize = 2047;

    CClientSocket();
    ~CClientSocket() override;

    // Closes this connection and serves the next one when it is still the
    // current one, unanswered, with the relay off after boundMs.
    void StartAnswerDeadline(uint32_t boundMs);

    CIsdnBridge* m_pBridge = nullptr;  // not owned; set once served
    bool m_bActive = false;

protected:
    void OnReceive(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

private:
    void OnAnswerDeadline();

    std::unique_ptr<QTimer> m_pAnswerDeadline;
};

}  // namespace gateway
