#include "app/NoCacheInterceptor.h"

namespace app {

// The engine's cache reads these request headers and then goes to the
// network (the relay) instead of a kept copy.
void CNoCacheInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    info.setHttpHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    info.setHttpHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
}

}  // namespace app
