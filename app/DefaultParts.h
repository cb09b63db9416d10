#pragma once

#include "gateway/IsdnBridge.h"

namespace app {

// The bridge's parts for the real program: the CAPI library, the connection
// control, the ten-minute idle time-out and the status page template next to
// the executable's data.
gateway::BridgeParts DefaultBridgeParts();

}  // namespace app
