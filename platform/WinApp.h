#pragma once

#include <atomic>

#include "platform/Window.h"

namespace platform {

// The application as the gateway sees it: the holder of the main window.
// Worker threads read the main window pointer without a lock.
class CWinApp {
public:
    CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp() = default;

    CWnd* MainWindow() const { return m_pMainWnd.load(); }
    void SetMainWindow(CWnd* window) { m_pMainWnd.store(window); }

private:
    std::atomic<CWnd*> m_pMainWnd{nullptr};
};

}  // namespace platform
