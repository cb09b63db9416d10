// Pictures of the shell as a user sees it, for a person to look at; they
// are written under the build folder's screenshots/.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QSignalSpy>

#include "app/AboutDlg.h"
#include "app/DlgCallDest.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/EventLoop.h"

namespace {

using apptest::ShellFixture;
using testsupport::RunIdleUntil;
using testsupport::RunUntil;

// True once the view shows more than a blank page.
bool HasContent(const QImage& image) {
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            if (image.pixel(x, y) != background) return true;
        }
    }
    return false;
}

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
    // The panes follow once the loop falls idle; the page's first frame
    // reaches the widget a little after the load.
    EXPECT_TRUE(
        RunIdleUntil([&] { return m_frame->IsdnPane()->text() == QStringLiteral("Bereit"); }));
    EXPECT_TRUE(RunIdleUntil([&] { return HasContent(View()->grab().toImage()); }));
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
