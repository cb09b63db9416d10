#include "bench/PageLoad.h"

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <cstdlib>

namespace bench {

std::unique_ptr<QCoreApplication> MakeBrowserApplication(int& argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    // The engine's sandbox refuses to start for root.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return std::make_unique<QApplication>(argc, argv);
}

// The profile must outlive its page: members are destroyed in reverse order.
struct CPageLoad::Engine {
    QWebEngineProfile profile;  // off the record: nothing stays on disk
    QWebEnginePage page{&profile};
};

CPageLoad::CPageLoad() : m_engine(std::make_unique<Engine>()) {
    m_engine->profile.setHttpCacheType(QWebEngineProfile::NoCache);
    m_engine->page.settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
}

CPageLoad::~CPageLoad() = default;

double CPageLoad::Load(const QUrl& url, int boundMs) {
    QEventLoop loop;
    QElapsedTimer timer;
    double seconds = -1;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto started = QObject::connect(&m_engine->page, &QWebEnginePage::loadStarted, &loop,
                                          [&timer] { timer.start(); });
    const auto finished =
        QObject::connect(&m_engine->page, &QWebEnginePage::loadFinished, &loop, [&](bool ok) {
            if (ok && timer.isValid()) seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
            loop.quit();
        });
    bound.start(boundMs);
    m_engine->page.load(url);
    loop.exec();
    QObject::disconnect(started);
    QObject::disconnect(finished);
    return seconds;
}

}  // namespace bench
