#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gateway/IsdnBridge.h"
#include "gateway/LocalReply.h"
#include "gateway/ServSocket.h"
#include "gateway/StatusPage.h"
#include "tests/gateway/LoopbackClient.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeCallControl.h"

namespace gatewaytest {

// Generous bounds: a loaded two-core machine must not fail a test.
inline constexpr int kBoundMs = 30000;

// A bridge with its local listener, a status page template of the test's
// choosing (none when nullopt) and a recording call control.
class LocalServer {
public:
    explicit LocalServer(
        const std::optional<std::string>& templateText = std::string("<p><STATUS /></p>"),
        uint32_t answerBoundMs = 60000) {
        const std::string path = m_dir.path().toStdString() + "/HttpStatus.html";
        if (templateText) std::ofstream(path, std::ios::binary) << *templateText;
        gateway::BridgeParts parts;
        parts.capiInstalled = [] { return uint32_t{0}; };
        parts.makeControl = [this](isdn::CCallOwner&) {
            auto made = std::make_unique<testsupport::FakeCallControl>();
            control = made.get();
            return std::unique_ptr<isdn::CCallControl>(std::move(made));
        };
        parts.templatePaths = {path};
        bridge = std::make_unique<gateway::CIsdnBridge>(nullptr, std::move(parts));
        bridge->m_pServSocket->m_nAnswerBoundMs = answerBoundMs;
    }

    unsigned Port() const { return bridge->ListeningPort(); }

    // Places a call with the fake control and switches the relay on, as the
    // main window does once the B-channel is up.
    void StartRelay() {
        bridge->StartCall("1234", nullptr);
        bridge->m_bRelayActive = 1;
    }

    std::vector<std::string> Frames() const {
        return control ? control->Frames() : std::vector<std::string>{};
    }

    std::string Reply(int code) const {
        return gateway::BuildLocalReply(code, bridge->m_pStatusPage.get());
    }

    size_t PendingCount() const { return bridge->m_pServSocket->m_PendingSockets.size(); }
    bool HasCurrent() const { return bridge->m_pCurrentSocket != nullptr; }

    // Runs the event loop, advancing the clients, until the condition holds.
    static bool PumpUntil(const std::vector<LoopbackClient*>& clients,
                          const std::function<bool()>& condition, int boundMs = kBoundMs) {
        return testsupport::RunUntil(
            [&] {
                for (LoopbackClient* client : clients) client->Pump();
                return condition();
            },
            boundMs);
    }

    testsupport::FakeCallControl* control = nullptr;
    std::unique_ptr<gateway::CIsdnBridge> bridge;

private:
    QTemporaryDir m_dir;
};

}  // namespace gatewaytest
