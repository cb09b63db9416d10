#include "app/QuorbelView.h"

#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace app {

CQuorbelView::CQuorbelView(QWidget* parent)
    : QWebEngineView(parent),
      // A profile with a storage name of its own: its cache holds only the
      // program's local pages, and clearing it keeps the cookies.
      m_pProfile(new QWebEngineProfile(QStringLiteral("Quorbel"), this)) {
    setPage(new QWebEnginePage(m_pProfile, this));
    // The local listener serves one connection at a time; an icon request
    // would only queue behind the page.
    settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
}

CQuorbelView::~CQuorbelView() {
    // The page must go before the profile it uses.
    delete page();
}

QUrl CQuorbelView::ToEngineUrl(const std::string& url) {
    std::string fixed = url;
    const auto scheme = fixed.find(':');
    if (scheme != std::string::npos) {
        for (size_t i = scheme + 1; i < fixed.size() && (fixed[i] == '\\' || fixed[i] == '/'); ++i) {
            fixed[i] = '/';
        }
    }
    return QUrl(QString::fromStdString(fixed));
}

void CQuorbelView::Stop() { triggerPageAction(QWebEnginePage::Stop); }

void CQuorbelView::ShowPage(const std::string& url) {
    if (url == m_strCurrentUrl) {
        triggerPageAction(QWebEnginePage::ReloadAndBypassCache);
        return;
    }
    m_strCurrentUrl = url;
    PurgeLocalUrlCache();
    load(ToEngineUrl(url));
    history()->clear();
}

void CQuorbelView::PurgeLocalUrlCache() { m_pProfile->clearHttpCache(); }

}  // namespace app
