#pragma once

#include <cstdint>
#include <string>

namespace isdn {

// Turns the CAPI reason of a call's clearing into the words the status page
// shows. The text depends on the value alone.
class CErrText {
public:
    // Never fails; the text may be empty (reasons the table leaves blank).
    std::string GetReasonText(uint16_t reason) const;
};

}  // namespace isdn
