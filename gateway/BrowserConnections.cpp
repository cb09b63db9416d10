// The bridge's side of the browser connections: which one is served, and
// where its bytes go.
#include <algorithm>
#include <cstring>

#include "gateway/ClientSocket.h"
#include "gateway/IsdnBridge.h"
#include "gateway/LocalReply.h"
#include "gateway/ServSocket.h"
#include "gateway/StatusEvent.h"

namespace gateway {
namespace {

isdn::Block MakeFrame(uint8_t type, const char* payload, size_t length) {
    auto frame = std::make_unique<uint8_t[]>(length + 1);
    frame[0] = type;
    if (length > 0) std::memcpy(frame.get() + 1, payload, length);
    return frame;
}

}  // namespace

void CIsdnBridge::ActivateNextSocket() {
    if (m_pCurrentSocket || !m_pServSocket) return;
    auto& pending = m_pServSocket->m_PendingSockets;
    if (pending.empty()) return;
    m_pCurrentSocket = std::move(pending.front());
    pending.pop_front();
    if (m_bRelayActive != 0) {
        // Queued before notifications are on, so before any data frame of it.
        QueueOpenFrame();
    } else {
        m_pCurrentSocket->StartAnswerDeadline(m_pServSocket->m_nAnswerBoundMs);
    }
    m_pCurrentSocket->m_pBridge = this;
    m_pCurrentSocket->m_bActive = true;
    m_pCurrentSocket->AsyncSelect(platform::FD_READ | platform::FD_WRITE | platform::FD_CLOSE);
}

void CIsdnBridge::QueueOpenFrame() {
    m_OutQueue.Put(1, MakeFrame(RELAY_CONTROL, nullptr, 0));
}

void CIsdnBridge::OnBrowserData(int length, std::unique_ptr<char[]> data) {
    if (length < 0 || (length > 0 && !data)) return;
    if (m_bRelayActive == 0) {
        HandleLocalRequest(length, data.get(), m_pStatusPage.get());
        return;
    }
    // A B-channel block holds one type byte and at most one read; a longer
    // buffer is split rather than refused by the sender.
    const auto total = static_cast<size_t>(length);
    size_t offset = 0;
    do {
        const size_t chunk =
            std::min(total - offset, static_cast<size_t>(CClientSocket::kReadSize));
        m_OutQueue.Put(static_cast<int32_t>(chunk + 1),
                       MakeFrame(RELAY_DATA, data.get() + offset, chunk));
        offset += chunk;
    } while (offset < total);
}

void CIsdnBridge::OnBrowserClose() {
    if (m_bRelayActive != 0) {
        // The end of the browser's side; the PBX's close frame ends the
        // connection.
        m_OutQueue.Put(1, MakeFrame(RELAY_DATA, nullptr, 0));
        return;
    }
    m_pCurrentSocket.reset();
    ActivateNextSocket();
}

}  // namespace gateway
