#pragma once

#include <QWebEnginePage>

namespace app {

// A page that goes nowhere but to the program's own local listener: every
// page the technician sees must travel through the relay, so a link or a
// script pointing elsewhere (another host, another port, another scheme) is
// refused.
//
// It also hears every page script that closes the window: the engine honours
// window.close() only while the page is the only history entry, which a PBX's
// logout page reached through a link is not while it loads, so the page's own
// close is routed to windowCloseRequested.
class CLocalOnlyPage : public QWebEnginePage {
    Q_OBJECT
public:
    CLocalOnlyPage(QWebEngineProfile* profile, QObject* parent);

    // The port of the local listener; 0 refuses every navigation.
    void SetOwnPort(unsigned port) { m_nPort = port; }
    unsigned OwnPort() const { return m_nPort; }

    static bool IsOwnAddress(const QUrl& url, unsigned port);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    unsigned m_nPort = 0;
};

}  // namespace app
