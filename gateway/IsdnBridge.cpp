#include "gateway/IsdnBridge.h"

#include "capi/CapiConstants.h"
#include "gateway/ClientSocket.h"
#include "gateway/ServSocket.h"
#include "gateway/StatusEvent.h"
#include "gateway/StatusPage.h"
#include "platform/Format.h"
#include "platform/WinApp.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace gateway {
namespace {

// Shuts the sending direction down and reads what the peer still sends, so
// that closing does not reset a connection with unread data.
template <typename Socket>
void DrainAndDelete(std::unique_ptr<Socket>& socket) {
    if (!socket) return;
    socket->ShutdownAndDrain();
    socket.reset();
}

}  // namespace

CIsdnBridge::CIsdnBridge(platform::CWinApp* app, BridgeParts parts)
    : m_pApp(app), m_parts(std::move(parts)) {
    m_pServSocket = std::make_unique<CServSocket>(this);

    const uint32_t installed =
        m_parts.capiInstalled ? m_parts.capiInstalled() : capi::Info::NotInstalled;
    m_nStatus = installed != capi::Info::NotInstalled ? isdn::STATUS_READY : isdn::STATUS_ERROR;

    m_senderThread = std::thread([this] { SenderThreadProc(); });
    m_pStatusPage = std::make_unique<CStatusPage>(this, m_parts.templatePaths);
    ShowStatusPage();
}

CIsdnBridge::~CIsdnBridge() {
    DrainAndDelete(m_pServSocket);
    DrainAndDelete(m_pCurrentSocket);
    // The sender thread may be inside the control (a send or an idle hang-up):
    // stop the queue and let the thread leave before the control goes.
    m_OutQueue.Clear();
    if (m_senderThread.joinable()) m_senderThread.join();
    m_pCapiControl.reset();
    m_pStatusPage.reset();
}

bool CIsdnBridge::StartCall(const char* number, const char* ownMsn) {
    if (m_bRelayActive != 0) return false;
    // A call being set up or up is not replaced: the control would refuse it
    // anyway, but only after the status bar had been told "Bereit" and the
    // number of the running call overwritten, leaving "Trennen" without effect.
    if (IsCallInProgress()) return false;
    if (!m_pCapiControl) {
        if (!m_parts.makeControl) return false;
        m_pCapiControl = m_parts.makeControl(*this);
        if (!m_pCapiControl) return false;
    }
    // A failed start shows later as a refused CONNECT_REQ.
    m_pCapiControl->StartCapi();
    m_strNumber = number ? number : "";
    m_strOwnMsn = ownMsn ? ownMsn : "";
    m_wReason = 0;
    m_pCapiControl->Connect(m_strNumber.c_str(), m_strOwnMsn.c_str());
    return true;
}

void CIsdnBridge::EndCall() {
    if (IsCallInProgress() && m_pCapiControl) m_pCapiControl->Hangup();
}

bool CIsdnBridge::IsCallInProgress() const {
    const int status = m_nStatus;
    return status >= isdn::STATUS_DIALLING && status <= isdn::STATUS_CONNECTING;
}

int CIsdnBridge::GetStatusText(std::string& text) const {
    const int status = m_nStatus;
    const auto withNumber = [this](unsigned id) {
        return res::LoadString(id) + "  " + m_strNumber;
    };
    switch (status) {
        case isdn::STATUS_ERROR:
            text = res::LoadString(res::IDS_STATUS_ERROR);
            break;
        case isdn::STATUS_READY:
            if (const uint16_t reason = m_wReason; reason != 0) {
                text = platform::FormatRuntime(res::LoadString(res::IDS_CAPI_REASON).c_str(),
                                               static_cast<unsigned>(reason));
            } else {
                text = res::LoadString(res::IDS_STATUS_READY);
            }
            break;
        case isdn::STATUS_DIALLING:
            text = withNumber(res::IDS_STATUS_DIALLING);
            break;
        case isdn::STATUS_CONNECTED:
            text = withNumber(res::IDS_STATUS_CONNECTED);
            break;
        case isdn::STATUS_FAILED:
            text = withNumber(res::IDS_STATUS_FAILED);
            break;
        case isdn::STATUS_CONNECTING:
            text = withNumber(res::IDS_STATUS_CONNECTING);
            break;
        case isdn::STATUS_DISCONNECTING:
            text = withNumber(res::IDS_STATUS_DISCONNECTING);
            break;
        default:
            text = "Default";
            break;
    }
    return status;
}

void CIsdnBridge::NotifyStatus(int status, uint16_t reason) {
    platform::CWnd* window = MainWindow();
    if (!window) return;
    m_nStatus = status;
    m_wReason = reason;
    const StatusEvent record = StatusEvent::Make(status, reason);
    window->SendCopyData(record.AsCopyData());
}

platform::CWnd* CIsdnBridge::MainWindow() const {
    return m_pApp ? m_pApp->MainWindow() : nullptr;
}

unsigned CIsdnBridge::ListeningPort() const {
    return m_pServSocket ? m_pServSocket->m_nPort : 0;
}

std::string CIsdnBridge::StatusPageUrl() const {
    return platform::FormatRuntime(res::LoadString(res::IDS_URL_STATUS_PAGE).c_str(),
                                   static_cast<int>(ListeningPort()));
}

std::string CIsdnBridge::RelayRootUrl() const {
    return platform::FormatRuntime(res::LoadString(res::IDS_URL_RELAY_ROOT).c_str(),
                                   static_cast<int>(ListeningPort()));
}

void CIsdnBridge::ShowStatusPage() {
    platform::CWnd* window = MainWindow();
    if (!window) return;
    if (platform::CPageView* view = window->GetActiveView()) view->ShowPage(StatusPageUrl());
}

void CIsdnBridge::SenderThreadProc() {
    uint32_t timeout = platform::INFINITE;
    for (;;) {
        isdn::Block block;
        const int32_t result = m_OutQueue.Get(timeout, block);
        if (result == 0) return;
        if (m_bRelayActive != 1) {
            // Nothing is relayed: drop the block, and the idle clock stops.
            timeout = platform::INFINITE;
            continue;
        }
        if (result < 0) {
            if (m_pCapiControl) m_pCapiControl->Hangup();
        } else if (m_pCapiControl) {
            m_pCapiControl->SendData(result, std::move(block));
        }
        timeout = m_parts.idleTimeoutMs;
    }
}

}  // namespace gateway
