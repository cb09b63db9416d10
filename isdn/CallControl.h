#pragma once

#include <cstdint>

#include "isdn/BlockQueue.h"

namespace isdn {

// The operations the bridge uses to place, clear and feed one ISDN call.
// The connection control implements them; tests hand the bridge a fake.
class CCallControl {
public:
    virtual ~CCallControl() = default;
    // Registers with CAPI and starts the receive thread; 0 on success.
    virtual int StartCapi() = 0;
    virtual bool Connect(const char* number, const char* ownMsn) = 0;
    virtual bool Hangup() = 0;
    // Sends one frame; takes the block over in every case.
    virtual uint32_t SendData(int32_t length, Block block) = 0;
};

}  // namespace isdn
