#pragma once

#include <QMainWindow>

#include "gateway/RelayDispatch.h"
#include "platform/Window.h"

class QAction;
class QLabel;
class QMenu;

namespace app {

class CQuorbelView;

// The main window: menu, status bar with the ISDN and socket panes, and the
// browser view. It is also the window to which the bridge's worker threads
// hand their records.
class CMainFrame : public QMainWindow, public platform::CWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    CQuorbelView* View() const { return m_pView; }
    platform::CPageView* GetActiveView() override;

    // Refreshes the two panes of the program from the bridge.
    void UpdatePanes();

    // The first pane: menu prompts while an item is highlighted, else the idle text.
    QLabel* MessagePane() const { return m_pMessagePane; }
    QLabel* IsdnPane() const { return m_pIsdnPane; }
    QLabel* SocketPane() const { return m_pSocketPane; }

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT& record) override;
    void OnMessage(unsigned message) override;

private:
    void CreateMenus();
    void CreateAccelerators();
    void CreateStatusBar();
    QAction* AddCommand(QMenu* menu, const QString& text, unsigned id);
    void ShowPrompt(unsigned id);
    void ShowIdleMessage();
    void OnAppExit();
    void OnAppAbout();

    CQuorbelView* m_pView;  // owned through the Qt parent
    QLabel* m_pMessagePane = nullptr;
    QLabel* m_pIsdnPane = nullptr;
    QLabel* m_pSocketPane = nullptr;
    gateway::CRelayDispatch m_relay{*this};
};

}  // namespace app
