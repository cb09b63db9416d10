#pragma once

#include <QWebEngineView>
#include <memory>
#include <string>

#include "platform/Window.h"

class QPrinter;
class QTimer;
class QWebEngineProfile;

namespace gateway {
class CIsdnBridge;
}

namespace app {

class CLocalOnlyPage;

// The browser view of the main window. It shows only pages of the program's
// own local listener: the status page, or the PBX's pages through the relay.
class CQuorbelView : public QWebEngineView, public platform::CPageView {
    Q_OBJECT
public:
    // The waits of a page change and of a refresh. They never block the event
    // loop: the relay and the status records keep flowing while the view waits.
    struct Timings {
        int pollMs = 100;
        // Polls while a load is under way before it is stopped (about 2 s).
        int readyPolls = 20;
        // Polls for a stopped load to wind down; the engine normally needs one.
        int busyPolls = 50;
        int refreshPauseMs = 500;
    };

    explicit CQuorbelView(QWidget* parent = nullptr);
    ~CQuorbelView() override;

    // Shows a page of the local listener. A page change asked for while an
    // earlier one still waits replaces the earlier one.
    void ShowPage(const std::string& url) override;
    void Stop() override;

    // Drops the browser's cached copies of the local listener's pages; the
    // cookies stay.
    void PurgeLocalUrlCache();

    void OnCallConnect();
    void OnCallDisconnect();
    void OnRefresh();
    void OnShowRelayRoot();
    void OnFilePrint();

    // Prints the page shown; the printer must stay alive until printFinished.
    bool PrintPage(QPrinter* printer);

    // The URL last passed to ShowPage that led to a navigation.
    const std::string& CurrentUrl() const { return m_strCurrentUrl; }
    bool IsPageChangePending() const { return m_phase != Phase::Idle; }
    bool IsBusy() const;
    void SetTimings(const Timings& timings) { m_timings = timings; }
    CLocalOnlyPage* LocalPage() const { return m_pPage; }

    // The table's URLs carry backslashes after the scheme; the engine needs slashes.
    static QUrl ToEngineUrl(const std::string& url);

signals:
    // A page change has taken effect: a navigation, or a complete reload.
    void PageRequested(const QUrl& url, bool reload);

private:
    enum class Phase { Idle, WaitReady, WaitStopped, RefreshPause };

    void OnWindowClosing();
    void OnPollTimer();
    void StepPageChange();
    void CompletePageChange();
    void ReloadCompletely();
    void Poll();
    static gateway::CIsdnBridge* Bridge();

    QWebEngineProfile* m_pProfile;  // owned through the Qt parent
    CLocalOnlyPage* m_pPage;        // owned through the Qt parent
    QTimer* m_pTimer;               // owned through the Qt parent
    std::string m_strCurrentUrl;
    std::string m_strPendingUrl;
    Phase m_phase = Phase::Idle;
    int m_nPolls = 0;
    Timings m_timings;
    std::unique_ptr<QPrinter> m_pPrinter;
};

}  // namespace app
