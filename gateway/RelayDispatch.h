#pragma once

#include <QTimer>
#include <cstdint>
#include <string>

#include "platform/Window.h"

namespace gateway {

class CIsdnBridge;

// The main window's side of the relay: frames from the PBX go to the browser
// connection served now, status records move the view between the status
// page and the PBX's pages, and the posted relay-on/off messages switch the
// relay. Runs on the GUI thread only.
class CRelayDispatch {
public:
    static constexpr unsigned WM_RELAY_ON = platform::WM_USER;
    static constexpr unsigned WM_RELAY_OFF = platform::WM_USER + 1;
    // How long a data frame may wait for the browser to take it.
    static constexpr int kWriteBoundMs = 5000;
    // Delay before the status page is shown for a call being dialled.
    static constexpr int kDialPageDelayMs = 100;

    // The window receives the posts; it outlives this object.
    explicit CRelayDispatch(platform::CWnd& window);
    CRelayDispatch(const CRelayDispatch&) = delete;
    CRelayDispatch& operator=(const CRelayDispatch&) = delete;

    // A relay record or a status record; nonzero when it was handled.
    intptr_t OnCopyData(CIsdnBridge* bridge, const platform::COPYDATASTRUCT& record);
    // The posted messages; false for a message that is not the relay's.
    bool OnMessage(CIsdnBridge* bridge, unsigned message);

    void OnRelayOn(CIsdnBridge* bridge);
    void OnRelayOff(CIsdnBridge* bridge);

private:
    intptr_t OnDataFrame(CIsdnBridge& bridge, const uint8_t* frame, uint32_t length);
    intptr_t OnCloseFrame(CIsdnBridge& bridge);
    intptr_t OnStatusRecord(CIsdnBridge& bridge, const uint8_t* record, uint32_t length);
    void ShowPage(const std::string& url);
    void StopView();

    platform::CWnd& m_window;
    QTimer m_dialPageTimer;
    std::string m_strDialPageUrl;
};

}  // namespace gateway
