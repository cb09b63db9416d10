#pragma once

#include <QApplication>
#include <QTranslator>
#include <memory>
#include <string>

#include "gateway/IsdnBridge.h"
#include "platform/WinApp.h"

namespace app {

class CMainFrame;

// The application object: brings the program up in a fixed order, keeps the
// two per-user settings, and owns the main window and the bridge.
class CQuorbelApp : public QApplication, public platform::CWinApp {
    Q_OBJECT
public:
    CQuorbelApp(int& argc, char** argv, gateway::BridgeParts parts);
    ~CQuorbelApp() override;

    static CQuorbelApp* Instance();

    // Start-up; false ends the program without entering the event loop.
    bool InitInstance();

    void OnAppExit();
    void OnAppAbout();
    void ShowCommandLineHelp();

    gateway::CIsdnBridge* Bridge() const { return m_pBridge.get(); }
    // Hands over a bridge made elsewhere (a test's, with fake ISDN parts);
    // the one held before is destroyed.
    void SetBridge(std::unique_ptr<gateway::CIsdnBridge> bridge) { m_pBridge = std::move(bridge); }
    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

    std::string m_strCallNumber;
    std::string m_strOwnMsn;

private:
    void LoadTranslations();
    void PlaceMainWindow(int left, int top, int right, int bottom);
    void SaveSettings();

    QTranslator m_qtTranslator;
    gateway::BridgeParts m_parts;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<gateway::CIsdnBridge> m_pBridge;
};

}  // namespace app
