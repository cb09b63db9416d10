#pragma once

#include <QUrl>
#include <memory>

class QCoreApplication;

namespace bench {

// The application object a browser engine needs, on an offscreen display.
std::unique_ptr<QCoreApplication> MakeBrowserApplication(int& argc, char** argv);

// Loads a URL in a fresh browser page without cache and without page icons,
// as the program's view does; the seconds from loadStarted to loadFinished,
// or a negative value when the load failed or took longer than boundMs.
class CPageLoad {
public:
    CPageLoad();
    ~CPageLoad();
    CPageLoad(const CPageLoad&) = delete;
    CPageLoad& operator=(const CPageLoad&) = delete;

    double Load(const QUrl& url, int boundMs = 300000);

private:
    struct Engine;
    std::unique_ptr<Engine> m_engine;
};

}  // namespace bench
