#include "gateway/ClientSocket.h"

#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "gateway/IsdnBridge.h"

namespace gateway {

CClientSocket::CClientSocket() = default;

CClientSocket::~CClientSocket() {
    if (IsValid()) {
        ShutDown(platform::SD_BOTH);
        Close();
    }
}

void CClientSocket::StartAnswerDeadline(uint32_t boundMs) {
    if (!m_pAnswerDeadline) {
        m_pAnswerDeadline = std::make_unique<QTimer>();
        m_pAnswerDeadline->setSingleShot(true);
        QObject::connect(m_pAnswerDeadline.get(), &QTimer::timeout, [this] { OnAnswerDeadline(); });
    }
    m_pAnswerDeadline->start(static_cast<int>(std::min<uint32_t>(boundMs, INT32_MAX)));
}

void CClientSocket::OnAnswerDeadline() {
    CIsdnBridge* bridge = m_pBridge;
    // While the relay is on the PBX answers, however long it takes.
    if (!bridge || bridge->m_bRelayActive != 0 || bridge->m_pCurrentSocket.get() != this) return;
    // Deletes this connection; nothing of it is touched afterwards.
    bridge->m_pCurrentSocket.reset();
    bridge->ActivateNextSocket();
}

void CClientSocket::OnReceive(int nErrorCode) {
    // A waiting connection keeps its data in the system until it is served;
    // reading it now would lose it.
    if (!m_bActive || !m_pBridge) return;
    if (nErrorCode == ENETDOWN) return;
    auto buffer = std::make_unique<char[]>(kReadSize);
    const int count = Receive(buffer.get(), kReadSize);
    if (count < 0) return;
    // May end and delete this connection (a local reply): the last use of it.
    m_pBridge->OnBrowserData(count, std::move(buffer));
}

void CClientSocket::OnClose(int /*nErrorCode*/) {
    if (m_pBridge && m_pBridge->m_pCurrentSocket.get() == this) m_pBridge->OnBrowserClose();
}

}  // namespace gateway
