#include "app/NoCacheInterceptor.h"

namespace app {

// The engine's cache reads these request headers and then goes to the
// network (the relay) instead of a kept copy. Only pages are asked for
// afresh: the status page and the PBX's pages must never be shown from a kept
// copy, while the PBX's stylesheet and images may come from the cache instead
// of crossing the ISDN line again for every page.
void CNoCacheInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const auto type = info.resourceType();
    if (type != QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
        type != QWebEngineUrlRequestInfo::ResourceTypeSubFrame) {
        return;
    }
    info.setHttpHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    info.setHttpHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
}

}  // namespace app
