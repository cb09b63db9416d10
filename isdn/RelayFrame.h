#pragma once

#include <cstddef>
#include <cstdint>

namespace isdn {

// Every block on the B-channel is one frame that begins with a type byte.
// 0x00 carries payload bytes (none for the browser's end of request);
// 0x01 opens an exchange towards the PBX and closes it from the PBX.
inline constexpr uint8_t RELAY_DATA = 0x00;
inline constexpr uint8_t RELAY_CONTROL = 0x01;

// The largest block the CAPI registration lets through (maxBDataLen).
inline constexpr size_t kMaxFrameLength = 2048;

}  // namespace isdn
