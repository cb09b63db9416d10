#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace platform {

// Window messages posted to the main window.
inline constexpr unsigned WM_USER = 0x400;

// A record handed to a window with a synchronous send (the data stays valid
// only while the send runs; the window reads it in place).
struct COPYDATASTRUCT {
    uintptr_t dwData = 0;
    uint32_t cbData = 0;
    const void* lpData = nullptr;
};

// What the gateway needs of the view shown in the main window.
class CPageView {
public:
    virtual ~CPageView() = default;
    virtual void ShowPage(const std::string& url) = 0;
    virtual void Stop() = 0;
};

// The main window as worker threads and the gateway see it: a message port on
// the thread that created it (the GUI thread).
//
// SendCopyData has the meaning of SendMessage(WM_COPYDATA): on the window's own
// thread the handler runs at once, inside the call; from any other thread the
// record is queued behind the window's pending messages and the caller waits
// until the handler has returned. A send to a closed window (destroyed, or its
// event loop ended) returns 0 at once, so no worker can block shutdown.
//
// PostMessage queues a message for OnMessage and returns at once.
//
// This is the one place where work hops from a worker thread to the window.
class CWnd {
public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    intptr_t SendCopyData(const COPYDATASTRUCT& record);
    bool PostMessage(unsigned message);

    // Stops delivery: waiting senders return 0 and later sends and posts are
    // refused. Derived windows call it first thing in their destructor, so no
    // handler runs on a half-destroyed object.
    void ClosePort();
    bool IsPortOpen() const;
    bool IsOwnThread() const { return std::this_thread::get_id() == m_ownThread; }

    virtual CPageView* GetActiveView() { return nullptr; }

protected:
    virtual intptr_t OnCopyData(const COPYDATASTRUCT& record) = 0;
    virtual void OnMessage(unsigned message) = 0;

private:
    struct Port;
    std::shared_ptr<Port> m_port;
    const std::thread::id m_ownThread;
};

}  // namespace platform
