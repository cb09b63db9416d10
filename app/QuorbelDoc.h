#pragma once

#include <string>

namespace gateway {
class CIsdnBridge;
}

namespace app {

// The document of the main window. It holds no data; it only produces the
// texts of the program's two status-bar panes from the bridge, which may be
// absent (null) during start-up.
class CQuorbelDoc {
public:
    static std::string OnUpdateIsdnPane(const gateway::CIsdnBridge* bridge);
    static std::string OnUpdateSocketPane(const gateway::CIsdnBridge* bridge);
};

}  // namespace app
