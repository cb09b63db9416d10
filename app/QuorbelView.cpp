#include "app/QuorbelView.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/DlgCallDest.h"
#include "app/LocalOnlyPage.h"
#include "app/NoCacheInterceptor.h"
#include "app/QuorbelApp.h"
#include "gateway/IsdnBridge.h"
#include "platform/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace app {
namespace {

// The port of an address the program itself points the view at.
unsigned PortOf(const QUrl& url) {
    const int port = url.port(80);
    return port > 0 ? static_cast<unsigned>(port) : 0;
}

// A profile with a storage name of its own, kept under the user's data
// folder: it holds only the program's local pages, and its cookies live as
// long as the program. Its settings stay the engine's defaults: changing the
// cache type, like clearing the cache, restarts the profile's network
// context, which loses a navigation started meanwhile and the session cookies
// (the PBX's login).
QWebEngineProfile* MakeProfile(QObject* parent) {
    auto* profile = new QWebEngineProfile(QStringLiteral("Quorbel"), parent);
    profile->setUrlRequestInterceptor(new CNoCacheInterceptor(profile));
    return profile;
}

}  // namespace

CQuorbelView::CQuorbelView(QWidget* parent)
    : QWebEngineView(parent),
      m_pProfile(MakeProfile(this)),
      m_pPage(new CLocalOnlyPage(m_pProfile, this)),
      m_pTimer(new QTimer(this)) {
    setPage(m_pPage);
    // The local listener serves one connection at a time; an icon request
    // would only queue behind the page.
    settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    m_pTimer->setSingleShot(true);
    connect(m_pTimer, &QTimer::timeout, this, &CQuorbelView::OnPollTimer);
    connect(m_pPage, &QWebEnginePage::windowCloseRequested, this, &CQuorbelView::OnWindowClosing);
    // Without history a page script may close the window (the engine allows
    // it only for a page that is the only entry), and every page change
    // starts afresh.
    connect(m_pPage, &QWebEnginePage::loadFinished, this, [this] { history()->clear(); });
    connect(this, &QWebEngineView::printFinished, this, [this] { m_pPrinter.reset(); });
}

CQuorbelView::~CQuorbelView() {
    m_pTimer->stop();
    // The page must go before the profile it uses.
    setPage(nullptr);
    delete m_pPage;
}

QUrl CQuorbelView::ToEngineUrl(const std::string& url) {
    std::string fixed = url;
    const auto scheme = fixed.find(':');
    if (scheme != std::string::npos) {
        for (size_t i = scheme + 1; i < fixed.size() && (fixed[i] == '\\' || fixed[i] == '/');
             ++i) {
            fixed[i] = '/';
        }
    }
    return QUrl(QString::fromStdString(fixed));
}

gateway::CIsdnBridge* CQuorbelView::Bridge() {
    const CQuorbelApp* app = CQuorbelApp::Instance();
    return app ? app->Bridge() : nullptr;
}

bool CQuorbelView::IsBusy() const {
    return m_pPage->isLoading();
}

void CQuorbelView::Stop() {
    triggerPageAction(QWebEnginePage::Stop);
}

void CQuorbelView::ShowPage(const std::string& url) {
    m_pTimer->stop();
    m_strPendingUrl = url;
    m_phase = Phase::WaitReady;
    m_nPolls = 0;
    StepPageChange();
}

void CQuorbelView::Poll() {
    ++m_nPolls;
    m_pTimer->start(m_timings.pollMs);
}

void CQuorbelView::OnPollTimer() {
    if (m_phase == Phase::RefreshPause) {
        m_phase = Phase::Idle;
        ReloadCompletely();
        return;
    }
    StepPageChange();
}

void CQuorbelView::StepPageChange() {
    if (m_phase == Phase::WaitReady) {
        if (IsBusy() && m_nPolls < m_timings.readyPolls) return Poll();
        if (IsBusy()) Stop();
        m_phase = Phase::WaitStopped;
        m_nPolls = 0;
    }
    // A load that ignores the stop must not hold page changes back for ever.
    if (IsBusy() && m_nPolls < m_timings.busyPolls) return Poll();
    CompletePageChange();
}

void CQuorbelView::CompletePageChange() {
    m_phase = Phase::Idle;
    const std::string url = std::move(m_strPendingUrl);
    m_strPendingUrl.clear();
    const QUrl engineUrl = ToEngineUrl(url);
    m_pPage->SetOwnPort(PortOf(engineUrl));
    if (url == m_strCurrentUrl) {
        // A reload would repeat whatever the view holds; when the earlier
        // navigation to this address was stopped before it arrived, that is
        // not this page.
        const auto strip = QUrl::StripTrailingSlash;
        if (m_pPage->url().adjusted(strip) == engineUrl.adjusted(strip)) {
            ReloadCompletely();
            return;
        }
    } else {
        m_strCurrentUrl = url;
        if (gateway::CIsdnBridge* bridge = Bridge(); bridge && bridge->m_pServSocket) {
            PurgeLocalUrlCache();
        }
    }
    load(engineUrl);
    emit PageRequested(engineUrl, false);
}

void CQuorbelView::ReloadCompletely() {
    triggerPageAction(QWebEnginePage::ReloadAndBypassCache);
    emit PageRequested(m_pPage->url(), true);
}

// The profile belongs to this view alone, so its whole cache is the local
// listener's. Every request of the profile already bypasses that cache, so no
// kept copy can be shown and nothing needs to go. The engine's own clearing
// is not used: it restarts the network context, and the navigation that
// follows a purge would be lost with it.
void CQuorbelView::PurgeLocalUrlCache() {}

void CQuorbelView::OnCallConnect() {
    CDlgCallDest dialog(this);
    if (dialog.DoModal() != QDialog::Accepted) return;
    if (gateway::CIsdnBridge* bridge = Bridge()) {
        bridge->StartCall(dialog.m_strNumber.c_str(), dialog.m_strOwnMsn.c_str());
    }
}

void CQuorbelView::OnCallDisconnect() {
    if (gateway::CIsdnBridge* bridge = Bridge()) bridge->EndCall();
}

// The view stays whatever the page asks: it is the program's only window on
// the PBX. A page that closes itself means the technician is done.
void CQuorbelView::OnWindowClosing() {
    OnCallDisconnect();
}

void CQuorbelView::OnRefresh() {
    // A page change under way loads its page afresh anyway; a refresh must
    // not replace it, or the view would miss the change.
    if (m_phase == Phase::WaitReady || m_phase == Phase::WaitStopped) return;
    if (IsBusy()) Stop();
    m_phase = Phase::RefreshPause;
    m_pTimer->start(m_timings.refreshPauseMs);
}

void CQuorbelView::OnShowRelayRoot() {
    unsigned port = 80;
    if (const gateway::CIsdnBridge* bridge = Bridge()) port = bridge->ListeningPort();
    const std::string url = platform::FormatRuntime(
        res::LoadString(res::IDS_URL_RELAY_ROOT).c_str(), static_cast<int>(port));
    load(ToEngineUrl(url));
}

void CQuorbelView::OnFilePrint() {
    // One print job at a time: the engine renders it asynchronously.
    if (m_pPrinter) return;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    m_pPrinter = std::move(printer);
    PrintPage(m_pPrinter.get());
}

bool CQuorbelView::PrintPage(QPrinter* printer) {
    if (!printer) return false;
    print(printer);
    return true;
}

}  // namespace app
