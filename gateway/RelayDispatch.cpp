#include "gateway/RelayDispatch.h"

#include <QTimer>

#include "gateway/ClientSocket.h"
#include "gateway/IsdnBridge.h"
#include "gateway/ServSocket.h"
#include "gateway/StatusEvent.h"

namespace gateway {

CRelayDispatch::CRelayDispatch(platform::CWnd& window) : m_window(window) {
    // Give the engine a moment before the dialling page is asked for, without
    // holding up the window.
    m_dialPageTimer.setSingleShot(true);
    QObject::connect(&m_dialPageTimer, &QTimer::timeout, [this] { ShowPage(m_strDialPageUrl); });
}

namespace {

void DeletePendingConnections(CIsdnBridge& bridge) {
    if (!bridge.m_pServSocket) return;
    auto& pending = bridge.m_pServSocket->m_PendingSockets;
    while (!pending.empty()) pending.pop_front();  // oldest first
}

}  // namespace

intptr_t CRelayDispatch::OnCopyData(CIsdnBridge* bridge, const platform::COPYDATASTRUCT& record) {
    const auto* bytes = static_cast<const uint8_t*>(record.lpData);
    if (!bridge || !bytes || record.cbData == 0) return 0;
    switch (bytes[0]) {
        case RELAY_DATA:
            return OnDataFrame(*bridge, bytes, record.cbData);
        case RELAY_CONTROL:
            return OnCloseFrame(*bridge);
        case RELAY_STATUS:
            return OnStatusRecord(*bridge, bytes, record.cbData);
        default:
            return 0;
    }
}

bool CRelayDispatch::OnMessage(CIsdnBridge* bridge, unsigned message) {
    if (message == WM_RELAY_ON) {
        OnRelayOn(bridge);
    } else if (message == WM_RELAY_OFF) {
        OnRelayOff(bridge);
    } else {
        return false;
    }
    return true;
}

intptr_t CRelayDispatch::OnDataFrame(CIsdnBridge& bridge, const uint8_t* frame, uint32_t length) {
    CClientSocket* current = bridge.m_pCurrentSocket.get();
    if (!current || length < 2) return 0;
    // The receive thread waits in its send until this returns, and answers the
    // PBX only then: that wait is the flow control towards the browser. So the
    // payload is written whole, waiting (bounded) while the browser's socket
    // is full rather than spinning.
    const auto* payload = reinterpret_cast<const char*>(frame + 1);
    if (current->SendAll(payload, length - 1, kWriteBoundMs)) return 1;
    // The rest of the frame is lost: the browser must see a broken connection
    // rather than a page with a hole in it. Later frames of this answer fail
    // at once; the PBX's close frame ends the connection as usual.
    current->ShutDown(platform::SD_BOTH);
    return 0;
}

intptr_t CRelayDispatch::OnCloseFrame(CIsdnBridge& bridge) {
    if (bridge.m_pCurrentSocket) {
        bridge.m_pCurrentSocket->ShutdownAndDrain();
        bridge.m_pCurrentSocket->Close();
        bridge.m_pCurrentSocket.reset();
    }
    bridge.ActivateNextSocket();
    return 1;
}

intptr_t CRelayDispatch::OnStatusRecord(CIsdnBridge& bridge, const uint8_t* record,
                                        uint32_t length) {
    if (length < StatusEvent{}.bytes.size()) return 0;
    const int status = StatusEvent::StatusOf(record);
    // The reporting thread stored the status before its record queued up
    // behind others; a report made meanwhile on this thread (a hang-up) may
    // have overwritten it. The records are handled in the order they were
    // made, so the one handled last holds the status that stands.
    bridge.m_nStatus = status;
    bridge.m_wReason = StatusEvent::ReasonOf(record);
    switch (status) {
        case isdn::STATUS_READY:
        case isdn::STATUS_DISCONNECTING:
            StopView();
            m_window.PostMessage(WM_RELAY_OFF);
            break;
        case isdn::STATUS_DIALLING: {
            // Give the engine a moment before the dialling page is asked for,
            // without holding up the window.
            // Relay on stops this timer: a call that comes up within the
            // delay must not have the status page asked of the PBX.
            m_strDialPageUrl = bridge.StatusPageUrl();
            m_dialPageTimer.start(kDialPageDelayMs);
            break;
        }
        case isdn::STATUS_CONNECTED:
            m_window.PostMessage(WM_RELAY_ON);
            break;
        default:
            break;
    }
    return 1;
}

void CRelayDispatch::OnRelayOn(CIsdnBridge* bridge) {
    m_dialPageTimer.stop();
    StopView();
    if (!bridge) return;
    const bool wasActive = bridge->m_bRelayActive.exchange(1) != 0;
    // A connection already served but not yet answered locally has its
    // request still to come: that goes to the PBX now, so its exchange must
    // be opened first, or the PBX would never answer it.
    if (!wasActive && bridge->m_pCurrentSocket) bridge->QueueOpenFrame();
    ShowPage(bridge->RelayRootUrl());
}

void CRelayDispatch::OnRelayOff(CIsdnBridge* bridge) {
    if (!bridge) return;
    if (bridge->m_bRelayActive != 0) {
        bridge->m_bRelayActive = 0;
        if (bridge->m_pCurrentSocket) {
            bridge->m_pCurrentSocket.reset();
            DeletePendingConnections(*bridge);
        }
    }
    // Connections that waited without one being served are answered locally
    // now, rather than only after some later accept.
    bridge->ActivateNextSocket();
    ShowPage(bridge->StatusPageUrl());
}

void CRelayDispatch::ShowPage(const std::string& url) {
    if (platform::CPageView* view = m_window.GetActiveView()) view->ShowPage(url);
}

void CRelayDispatch::StopView() {
    if (platform::CPageView* view = m_window.GetActiveView()) view->Stop();
}

}  // namespace gateway
