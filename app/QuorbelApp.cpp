#include "app/QuorbelApp.h"

#include <QLibraryInfo>
#include <QMessageBox>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/CommandLineInfo.h"
#include "app/MainFrame.h"
#include "platform/Profile.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace app {
namespace {

constexpr const char* kDialSection = "DialParms";
constexpr const char* kSettingsSection = "Settings";

std::vector<std::string> ArgumentsOf(const QStringList& arguments) {
    std::vector<std::string> result;
    result.reserve(static_cast<size_t>(arguments.size()));
    for (const QString& argument : arguments) result.push_back(argument.toStdString());
    return result;
}

}  // namespace

CQuorbelApp::CQuorbelApp(int& argc, char** argv, gateway::BridgeParts parts)
    : QApplication(argc, argv), m_parts(std::move(parts)) {
    setApplicationName(QString::fromStdString(res::LoadString(res::AFX_IDS_APP_TITLE)));
    setOrganizationName(QStringLiteral("Brenwick"));
    setApplicationVersion(QStringLiteral("1.34"));
    setWindowIcon(AppIcon());
    LoadTranslations();
}

// The program speaks German: Qt's own dialogs and standard buttons too,
// whatever the desktop's language is.
void CQuorbelApp::LoadTranslations() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (m_qtTranslator.load(QStringLiteral("qtbase_de"), folder)) {
        installTranslator(&m_qtTranslator);
    }
}

CQuorbelApp::~CQuorbelApp() {
    // The window stops taking records first, so that a worker still sending
    // to it is let go at once; then the bridge joins its workers, and only
    // then may the window object go, since a worker may still hold its address.
    if (m_pMainFrame) m_pMainFrame->ClosePort();
    SetMainWindow(nullptr);
    m_pBridge.reset();
    m_pMainFrame.reset();
}

CQuorbelApp* CQuorbelApp::Instance() {
    return qobject_cast<CQuorbelApp*>(QCoreApplication::instance());
}

bool CQuorbelApp::InitInstance() {
    m_strOwnMsn = platform::CProfile::GetProfileString(kDialSection, "OwnMSN");
    const int left = platform::CProfile::GetProfileInt(kSettingsSection, "Left", 0);
    const int top = platform::CProfile::GetProfileInt(kSettingsSection, "Top", 0);
    const int right = platform::CProfile::GetProfileInt(kSettingsSection, "Right", 0);
    const int bottom = platform::CProfile::GetProfileInt(kSettingsSection, "Bottom", 0);

    m_pMainFrame = std::make_unique<CMainFrame>();
    SetMainWindow(m_pMainFrame.get());

    CQuorbelCommaldLineInfo commandLine;
    commandLine.ParseCommandLine(ArgumentsOf(arguments()));

    // Placed before it is first shown, so the window does not jump.
    PlaceMainWindow(left, top, right, bottom);
    m_pMainFrame->show();
    if (commandLine.m_bShowHelp) ShowCommandLineHelp();

    m_pBridge = std::make_unique<gateway::CIsdnBridge>(this, m_parts);
    m_pMainFrame->UpdatePanes();

    if (!commandLine.m_strDialNumber.empty()) {
        m_pBridge->StartCall(commandLine.m_strDialNumber.c_str(), nullptr);
    }
    return true;
}

void CQuorbelApp::PlaceMainWindow(int left, int top, int right, int bottom) {
    if (left == 0 || top == 0 || right == 0 || bottom == 0) return;
    // A hand-edited profile may describe an impossible rectangle.
    const int64_t width = int64_t{right} - left;
    const int64_t height = int64_t{bottom} - top;
    if (width <= 0 || height <= 0 || width > QWIDGETSIZE_MAX || height > QWIDGETSIZE_MAX) return;
    m_pMainFrame->move(left, top);
    m_pMainFrame->resize(static_cast<int>(width), static_cast<int>(height));
}

void CQuorbelApp::ShowCommandLineHelp() {
    QString text = QString::fromStdString(res::LoadString(res::IDS_COMMAND_LINE_HELP));
    text.remove(QLatin1Char('\r'));
    QMessageBox::warning(m_pMainFrame.get(), applicationName(), text);
}

void CQuorbelApp::SaveSettings() {
    platform::CProfile::WriteProfileString(kDialSection, "OwnMSN", m_strOwnMsn);
    if (!m_pMainFrame) return;
    // The window's outer corner, but its inner size: that is what placing it
    // again at start-up takes (move places the frame, resize sizes the
    // inside), so the window does not grow by its decorations at every start.
    const QRect rect(m_pMainFrame->frameGeometry().topLeft(), m_pMainFrame->size());
    platform::CProfile::WriteProfileInt(kSettingsSection, "Left", rect.left());
    platform::CProfile::WriteProfileInt(kSettingsSection, "Top", rect.top());
    platform::CProfile::WriteProfileInt(kSettingsSection, "Right", rect.left() + rect.width());
    platform::CProfile::WriteProfileInt(kSettingsSection, "Bottom", rect.top() + rect.height());
}

void CQuorbelApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainFrame.get());
    dialog.DoModal();
}

void CQuorbelApp::OnAppExit() {
    SaveSettings();
    if (m_pMainFrame) m_pMainFrame->close();
}

}  // namespace app
