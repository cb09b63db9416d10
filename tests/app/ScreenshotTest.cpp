// Pictures of the shell as a user sees it, for a person to look at; they
// are written under the build folder's screenshots/.
#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>

#include "app/AboutDlg.h"
#include "app/DlgCallDest.h"
#include "tests/app/ShellFixture.h"

namespace {

using apptest::ShellFixture;
using testsupport::RunUntil;

bool Save(QWidget* widget, const char* name) {
    QDir().mkpath(QStringLiteral(QUORBEL_SCREENSHOT_DIR));
    return widget->grab().save(
        QStringLiteral(QUORBEL_SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name)));
}

TEST_F(ShellFixture, ScreenshotsOfWindowAndDialogs) {
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    StartBridge();
    m_frame->resize(900, 600);
    ASSERT_TRUE(RunUntil([&] { return finished.count() >= 1 && !View()->IsBusy(); }));
    // The page's first frame reaches the widget a little after the load.
    RunUntil(
        [&] {
            return View()->grab().toImage().pixelColor(20, 20) != QColor(Qt::black) &&
                   m_frame->grab().toImage().pixelColor(450, 300) != QColor(Qt::black);
        },
        3000);
    EXPECT_TRUE(Save(m_frame.get(), "main-window"));

    m_app->m_strCallNumber = "0301234";
    m_app->m_strOwnMsn = "123";
    app::CDlgCallDest dialog(m_frame.get());
    dialog.show();
    EXPECT_TRUE(Save(&dialog, "connect-dialog"));

    app::CAboutDlg about(m_frame.get());
    about.show();
    EXPECT_TRUE(Save(&about, "about-box"));
}

}  // namespace
