#include "app/LocalOnlyPage.h"

#include <QUrl>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace app {
namespace {

// What the page's window.close() says instead of closing.
const QString kCloseMarker = QStringLiteral("quorbel:window-close");

QWebEngineScript CloseRedirectScript() {
    QWebEngineScript script;
    script.setName(QStringLiteral("quorbel-window-close"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(
        QStringLiteral("window.close = function () { console.info('%1'); };").arg(kCloseMarker));
    return script;
}

}  // namespace

CLocalOnlyPage::CLocalOnlyPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    scripts().insert(CloseRedirectScript());
}

void CLocalOnlyPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel /*level*/,
                                              const QString& message, int /*lineNumber*/,
                                              const QString& /*sourceID*/) {
    // Anything else a page writes to its console is of no interest: the
    // program keeps no log.
    if (message == kCloseMarker) emit windowCloseRequested();
}

bool CLocalOnlyPage::IsOwnAddress(const QUrl& url, unsigned port) {
    if (port == 0 || !url.isValid()) return false;
    if (url.scheme() != QLatin1String("http")) return false;
    // User names or passwords in the address would travel to the PBX unasked.
    if (!url.userInfo().isEmpty()) return false;
    const QString host = url.host().toLower();
    if (host != QLatin1String("localhost") && host != QLatin1String("127.0.0.1")) return false;
    // No port means 80, which the system never hands out to our listener.
    return url.port(80) == static_cast<int>(port);
}

bool CLocalOnlyPage::acceptNavigationRequest(const QUrl& url, NavigationType /*type*/,
                                             bool /*isMainFrame*/) {
    return IsOwnAddress(url, m_nPort);
}

}  // namespace app
