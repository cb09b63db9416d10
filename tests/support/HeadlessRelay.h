#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gateway/IsdnBridge.h"
#include "gateway/RelayDispatch.h"
#include "platform/WinApp.h"

namespace testsupport {

// The relay as the program runs it, without a browser view: the real bridge
// and connection control on the CAPI library, and a main window that is only
// a message port with the relay dispatch behind it. Lives on the thread that
// runs the event loop.
class CHeadlessRelay : public platform::CWnd {
public:
    explicit CHeadlessRelay(gateway::BridgeParts parts);
    ~CHeadlessRelay() override;

    gateway::CIsdnBridge& Bridge() { return *m_pBridge; }
    bool RelayActive() const { return m_pBridge->m_bRelayActive != 0; }
    int Status() const { return m_pBridge->m_nStatus; }
    std::vector<int> Statuses() const { return m_statuses; }
    unsigned Port() const { return m_pBridge->ListeningPort(); }

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT& record) override;
    void OnMessage(unsigned message) override;

private:
    platform::CWinApp m_app;
    gateway::CRelayDispatch m_relay{*this};
    std::unique_ptr<gateway::CIsdnBridge> m_pBridge;
    std::vector<int> m_statuses;
};

// A blocking HTTP exchange with the local listener: sends the request and
// reads until the server closes, or until stopAfter bytes have come (then it
// closes first, as a browser leaving a page does). Returns what arrived.
std::string HttpExchange(unsigned port, const std::string& request, int boundMs = 60000,
                         size_t stopAfter = SIZE_MAX);

}  // namespace testsupport
