#pragma once

#include "gateway/IsdnBridge.h"

namespace gateway {

// The bridge's ISDN parts on the CAPI library: the presence test asks a
// binding of its own, and the connection control is the real one.
BridgeParts CapiBridgeParts();

}  // namespace gateway
