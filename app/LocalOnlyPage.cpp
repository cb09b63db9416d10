#include "app/LocalOnlyPage.h"

#include <QUrl>

namespace app {

CLocalOnlyPage::CLocalOnlyPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {}

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
