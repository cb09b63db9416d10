#include "gateway/ServSocket.h"

#include <QTimer>

#include "gateway/ClientSocket.h"
#include "gateway/IsdnBridge.h"

namespace gateway {
namespace {

// Only the browser view on this machine may reach the relay.
constexpr const char* kLoopback = "127.0.0.1";
constexpr int kBacklog = 5;
// When the process has no descriptor left, the waiting connection stays in
// the listener's queue and keeps it readable; accepting is paused this long
// instead of being retried without pause.
constexpr int kAcceptPauseMs = 100;

}  // namespace

CServSocket::CServSocket(CIsdnBridge* bridge) : m_pBridge(bridge) {
    if (!Create(0, platform::FD_ACCEPT | platform::FD_CLOSE, kLoopback)) return;
    unsigned port = 0;
    if (!GetSockName(m_strAddress, port)) return;
    m_nPort = port;
    // A listener that fails here leaves the port known and nothing connects;
    // the status bar still shows which port the view is pointed at.
    Listen(kBacklog);
}

CServSocket::~CServSocket() {
    m_PendingSockets.clear();
    Close();
}

void CServSocket::OnAccept(int /*nErrorCode*/) {
    auto client = std::make_unique<CClientSocket>();
    if (Accept(*client)) {
        // Its data waits in the system until the bridge serves it.
        client->AsyncSelect(0);
        m_PendingSockets.push_back(std::move(client));
    } else if (!WouldBlock()) {
        PauseAccepting();
    }
    if (m_pBridge) m_pBridge->ActivateNextSocket();
}

void CServSocket::PauseAccepting() {
    if (!m_pResumeTimer) {
        m_pResumeTimer = std::make_unique<QTimer>();
        m_pResumeTimer->setSingleShot(true);
        QObject::connect(m_pResumeTimer.get(), &QTimer::timeout,
                         [this] { AsyncSelect(platform::FD_ACCEPT | platform::FD_CLOSE); });
    }
    AsyncSelect(0);
    m_pResumeTimer->start(kAcceptPauseMs);
}

}  // namespace gateway
