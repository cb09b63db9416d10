#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "isdn/BlockQueue.h"
#include "isdn/CallControl.h"
#include "isdn/CallOwner.h"

namespace platform {
class CWinApp;
class CWnd;
}  // namespace platform

namespace gateway {

class CServSocket;
class CClientSocket;
class CStatusPage;

// The parts of the ISDN side that the bridge creates; the program uses the
// real CAPI ones, tests hand in fakes.
struct BridgeParts {
    // The CAPI presence test: the result of CAPI_INSTALLED (0x1109: absent).
    std::function<uint32_t()> capiInstalled;
    // Creates the connection control on the first call.
    std::function<std::unique_ptr<isdn::CCallControl>(isdn::CCallOwner&)> makeControl;
    // Idle time after which the sender thread hangs up a relayed call.
    uint32_t idleTimeoutMs = 600000;
    // Where the status page template is looked for, in order.
    std::vector<std::string> templatePaths;
};

// Joins the local HTTP side and the ISDN side: owns the listening socket and
// the browser connection served now, the connection control, the status page
// template and the outgoing block queue with its sender thread.
class CIsdnBridge final : public isdn::CCallOwner {
public:
    using Status = isdn::CallStatus;

    CIsdnBridge(platform::CWinApp* app, BridgeParts parts);
    CIsdnBridge(const CIsdnBridge&) = delete;
    CIsdnBridge& operator=(const CIsdnBridge&) = delete;
    ~CIsdnBridge();

    // Main thread. Refused (false) while the relay is on.
    bool StartCall(const char* number, const char* ownMsn);
    void EndCall();
    // Status 2 to 5: a call is being set up or is up.
    bool IsCallInProgress() const;
    int GetStatusText(std::string& text) const;

    // Any thread: stores the status and hands the status record to the main
    // window, waiting until it has been handled.
    void NotifyStatus(int status, uint16_t reason) override;
    platform::CWnd* MainWindow() const override;

    // The browser connections (main thread).
    void ActivateNextSocket();
    // Starts an exchange with the PBX for the connection served now.
    void QueueOpenFrame();
    void OnBrowserData(int length, std::unique_ptr<char[]> data);
    void OnBrowserClose();

    // The port of the local listener, 0 without one.
    unsigned ListeningPort() const;
    // URLs of the view, with the listening port filled in.
    std::string StatusPageUrl() const;
    std::string RelayRootUrl() const;

    // Fields other parts of the gateway work on (main thread unless noted).
    std::unique_ptr<CServSocket> m_pServSocket;
    std::unique_ptr<CClientSocket> m_pCurrentSocket;
    std::unique_ptr<isdn::CCallControl> m_pCapiControl;
    std::atomic<uint16_t> m_wReason{0};  // written by the reporting thread
    std::string m_strNumber;
    std::string m_strOwnMsn;
    platform::CWinApp* const m_pApp;                 // not owned
    std::atomic<int> m_bRelayActive{0};              // read by the sender thread
    std::atomic<int> m_nStatus{isdn::STATUS_ERROR};  // written by the reporting thread
    std::unique_ptr<CStatusPage> m_pStatusPage;
    isdn::CBlockQueue m_OutQueue;

private:
    void SenderThreadProc();
    void ShowStatusPage();

    BridgeParts m_parts;
    std::thread m_senderThread;
};

}  // namespace gateway
