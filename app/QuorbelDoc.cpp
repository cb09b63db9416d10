#include "app/QuorbelDoc.h"

#include "gateway/IsdnBridge.h"
#include "platform/Format.h"

namespace app {

std::string CQuorbelDoc::OnUpdateIsdnPane(const gateway::CIsdnBridge* bridge) {
    std::string text;
    if (bridge) bridge->GetStatusText(text);
    return text;
}

std::string CQuorbelDoc::OnUpdateSocketPane(const gateway::CIsdnBridge* bridge) {
    const unsigned port = bridge ? bridge->ListeningPort() : 0;
    return platform::Format("Socket %u ready", port);
}

}  // namespace app
