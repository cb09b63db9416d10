#pragma once

#include <QWebEngineUrlRequestInterceptor>

namespace app {

// Marks every request of the view's profile so that the engine never answers
// it from a kept copy. The program's addresses show the status page, or
// through the relay the pages of whichever PBX was dialled, so a kept copy
// is always suspect.
class CNoCacheInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

}  // namespace app
