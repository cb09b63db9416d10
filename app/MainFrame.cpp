#include "app/MainFrame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QThread>
#include <QWebEnginePage>

#include "app/AppIcon.h"
#include "app/QuorbelApp.h"
#include "app/QuorbelDoc.h"
#include "app/QuorbelView.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace app {
namespace {

QString Text(unsigned id) {
    return QString::fromStdString(res::LoadString(id));
}

// A pane as wide as the text of the string with the pane's ID.
QLabel* MakePane(QWidget* parent, unsigned sizingId, const char* name) {
    auto* pane = new QLabel(parent);
    pane->setObjectName(QLatin1String(name));
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const int width = QFontMetrics(pane->font()).horizontalAdvance(Text(sizingId));
    pane->setMinimumWidth(width + 8);
    return pane;
}

// The prompt of a command: the text before the line feed of its string; an
// empty text for a command without one.
QString PromptOf(unsigned id) {
    return Text(id).section(QLatin1Char('\n'), 0, 0);
}

gateway::CIsdnBridge* Bridge() {
    const CQuorbelApp* app = CQuorbelApp::Instance();
    return app ? app->Bridge() : nullptr;
}

}  // namespace

CMainFrame::CMainFrame() : m_pView(new CQuorbelView(this)) {
    setWindowTitle(Text(res::AFX_IDS_APP_TITLE));
    setWindowIcon(AppIcon());
    setCentralWidget(m_pView);
    CreateMenus();
    CreateAccelerators();
    CreateStatusBar();
    // The panes follow the bridge after every processed event: the event
    // loop falls idle after each batch it has handled.
    connect(QThread::currentThread()->eventDispatcher(), &QAbstractEventDispatcher::aboutToBlock,
            this, &CMainFrame::UpdatePanes);
    resize(1024, 768);
}

CMainFrame::~CMainFrame() {
    ClosePort();
}

platform::CPageView* CMainFrame::GetActiveView() {
    return m_pView;
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, unsigned id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::hovered, this, [this, id] { ShowPrompt(id); });
    return action;
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    connect(AddCommand(file, QStringLiteral("&Beenden"), res::ID_APP_EXIT), &QAction::triggered,
            this, &CMainFrame::OnAppExit);

    QMenu* view = menuBar()->addMenu(QStringLiteral("Ansicht"));
    connect(AddCommand(view, QStringLiteral("&Aktualisieren"), res::ID_VIEW_REFRESH),
            &QAction::triggered, m_pView, &CQuorbelView::OnRefresh);

    QMenu* call = menuBar()->addMenu(QStringLiteral("Verbindung"));
    connect(AddCommand(call, QStringLiteral("&Verbinde mit"), res::ID_CONNECT), &QAction::triggered,
            m_pView, &CQuorbelView::OnCallConnect);
    connect(AddCommand(call, QStringLiteral("&Trennen"), res::ID_DISCONNECT), &QAction::triggered,
            m_pView, &CQuorbelView::OnCallDisconnect);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    connect(AddCommand(help, QStringLiteral("&Info über Quorbel..."), res::ID_APP_ABOUT),
            &QAction::triggered, this, &CMainFrame::OnAppAbout);

    for (QMenu* menu : {file, view, call, help}) {
        connect(menu, &QMenu::aboutToHide, this, &CMainFrame::ShowIdleMessage);
    }
}

// The keys of the window that mean something here: printing, and the
// clipboard in the page. New and open have no document to act on and are
// left unbound.
void CMainFrame::CreateAccelerators() {
    struct Accelerator {
        QKeySequence keys;
        QWebEnginePage::WebAction pageAction;
    };
    const Accelerator clipboard[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_X), QWebEnginePage::Cut},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), QWebEnginePage::Cut},
        {QKeySequence(Qt::CTRL | Qt::Key_C), QWebEnginePage::Copy},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), QWebEnginePage::Copy},
        {QKeySequence(Qt::CTRL | Qt::Key_V), QWebEnginePage::Paste},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), QWebEnginePage::Paste},
    };
    for (const Accelerator& accelerator : clipboard) {
        auto* action = new QAction(this);
        action->setShortcut(accelerator.keys);
        const QWebEnginePage::WebAction pageAction = accelerator.pageAction;
        connect(action, &QAction::triggered, this,
                [this, pageAction] { m_pView->triggerPageAction(pageAction); });
        addAction(action);
    }
    auto* print = new QAction(this);
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(print, &QAction::triggered, m_pView, &CQuorbelView::OnFilePrint);
    addAction(print);
}

void CMainFrame::CreateStatusBar() {
    m_pMessagePane = new QLabel(this);
    m_pMessagePane->setObjectName(QStringLiteral("messagePane"));
    statusBar()->addWidget(m_pMessagePane, 1);
    ShowIdleMessage();
    m_pIsdnPane = MakePane(this, res::ID_INDICATOR_ISDN, "isdnPane");
    m_pSocketPane = MakePane(this, res::ID_INDICATOR_SOCKET, "socketPane");
    statusBar()->addPermanentWidget(m_pIsdnPane);
    statusBar()->addPermanentWidget(m_pSocketPane);
    UpdatePanes();
}

void CMainFrame::ShowPrompt(unsigned id) {
    m_pMessagePane->setText(PromptOf(id));
}

void CMainFrame::ShowIdleMessage() {
    m_pMessagePane->setText(Text(res::AFX_IDS_IDLEMESSAGE));
}

void CMainFrame::UpdatePanes() {
    const gateway::CIsdnBridge* bridge = Bridge();
    const QString isdnText = QString::fromStdString(CQuorbelDoc::OnUpdateIsdnPane(bridge));
    const QString socketText = QString::fromStdString(CQuorbelDoc::OnUpdateSocketPane(bridge));
    if (m_pIsdnPane->text() != isdnText) m_pIsdnPane->setText(isdnText);
    if (m_pSocketPane->text() != socketText) m_pSocketPane->setText(socketText);
}

void CMainFrame::OnAppExit() {
    if (CQuorbelApp* app = CQuorbelApp::Instance()) {
        app->OnAppExit();
    } else {
        close();
    }
}

void CMainFrame::OnAppAbout() {
    if (CQuorbelApp* app = CQuorbelApp::Instance()) app->OnAppAbout();
}

intptr_t CMainFrame::OnCopyData(const platform::COPYDATASTRUCT& record) {
    const intptr_t handled = m_relay.OnCopyData(CQuorbelApp::Instance()->Bridge(), record);
    UpdatePanes();
    return handled;
}

void CMainFrame::OnMessage(unsigned message) {
    m_relay.OnMessage(CQuorbelApp::Instance()->Bridge(), message);
    UpdatePanes();
}

}  // namespace app
