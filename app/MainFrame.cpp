#include "app/MainFrame.h"

#include <QAbstractEventDispatcher>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QThread>

#include "app/QuorbelApp.h"
#include "app/QuorbelView.h"
#include "gateway/IsdnBridge.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace app {
namespace {

QString Text(unsigned id) { return QString::fromStdString(res::LoadString(id)); }

// A pane as wide as the text of the string with the pane's ID.
QLabel* MakePane(QWidget* parent, unsigned sizingId) {
    auto* pane = new QLabel(parent);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const int width = QFontMetrics(pane->font()).horizontalAdvance(Text(sizingId));
    pane->setMinimumWidth(width + 8);
    return pane;
}

}  // namespace

CMainFrame::CMainFrame() : m_pView(new CQuorbelView(this)) {
    setWindowTitle(Text(res::AFX_IDS_APP_TITLE));
    setCentralWidget(m_pView);
    CreateMenus();
    CreateStatusBar();
    // The panes follow the bridge whenever the event loop falls idle.
    connect(QThread::currentThread()->eventDispatcher(), &QAbstractEventDispatcher::aboutToBlock,
            this, &CMainFrame::UpdatePanes);
    resize(1024, 768);
}

CMainFrame::~CMainFrame() { ClosePort(); }

platform::CPageView* CMainFrame::GetActiveView() { return m_pView; }

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    file->addAction(QStringLiteral("&Beenden"), this, &CMainFrame::ExitRequested);
}

void CMainFrame::CreateStatusBar() {
    statusBar()->showMessage(Text(res::AFX_IDS_IDLEMESSAGE));
    m_pIsdnPane = MakePane(this, res::ID_INDICATOR_ISDN);
    m_pSocketPane = MakePane(this, res::ID_INDICATOR_SOCKET);
    statusBar()->addPermanentWidget(m_pIsdnPane);
    statusBar()->addPermanentWidget(m_pSocketPane);
    UpdatePanes();
}

void CMainFrame::UpdatePanes() {
    const gateway::CIsdnBridge* bridge = CQuorbelApp::Instance()->Bridge();
    std::string isdn;
    unsigned port = 0;
    if (bridge) {
        bridge->GetStatusText(isdn);
        port = bridge->ListeningPort();
    }
    const QString isdnText = QString::fromStdString(isdn);
    const QString socketText = QStringLiteral("Socket %1 ready").arg(port);
    if (m_pIsdnPane->text() != isdnText) m_pIsdnPane->setText(isdnText);
    if (m_pSocketPane->text() != socketText) m_pSocketPane->setText(socketText);
}

intptr_t CMainFrame::OnCopyData(const platform::COPYDATASTRUCT& /*record*/) {
    UpdatePanes();
    return 1;
}

void CMainFrame::OnMessage(unsigned /*message*/) { UpdatePanes(); }

}  // namespace app
