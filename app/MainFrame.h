#pragma once

#include <QMainWindow>

#include "platform/Window.h"

class QLabel;

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

signals:
    void ExitRequested();

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT& record) override;
    void OnMessage(unsigned message) override;

private:
    void CreateMenus();
    void CreateStatusBar();

    CQuorbelView* m_pView;
    QLabel* m_pIsdnPane = nullptr;
    QLabel* m_pSocketPane = nullptr;
};

}  // namespace app
