#pragma once

#include <cstdint>

namespace platform {
class CWnd;
}

namespace isdn {

// Connection status codes, reported by the connection control to its owner.
enum CallStatus : int {
    STATUS_ERROR = 0,
    STATUS_READY = 1,
    STATUS_DIALLING = 2,
    STATUS_CONNECTED = 3,
    STATUS_FAILED = 4,
    STATUS_CONNECTING = 5,
    STATUS_DISCONNECTING = 6,
};

// What the connection control needs of the object that owns it (the bridge).
class CCallOwner {
public:
    virtual void NotifyStatus(int status, uint16_t reason) = 0;
    // The main window, or null while the application has none.
    virtual platform::CWnd* MainWindow() const = 0;

protected:
    ~CCallOwner() = default;
};

}  // namespace isdn
