#include "gateway/CapiBridgeParts.h"

#include "capi/CapiInterface.h"
#include "isdn/CapiControl.h"

namespace gateway {

BridgeParts CapiBridgeParts() {
    BridgeParts parts;
    parts.capiInstalled = [] { return capi::CCapiInterface().CapiInstalled(); };
    parts.makeControl = [](isdn::CCallOwner& owner) -> std::unique_ptr<isdn::CCallControl> {
        return std::make_unique<isdn::CCapiControl>(owner);
    };
    return parts;
}

}  // namespace gateway
