#pragma once

#include <array>
#include <cstdint>

#include "isdn/RelayFrame.h"
#include "platform/Window.h"

namespace gateway {

using isdn::RELAY_CONTROL;
using isdn::RELAY_DATA;

// The record type of a status event. It never travels on the B-channel, so
// the window tells records from frames by the first byte alone.
inline constexpr uint8_t RELAY_STATUS = 0x80;

// The 12-byte status record: type, 3 reserved, status (LE32), reason (LE16),
// 2 reserved.
struct StatusEvent {
    std::array<uint8_t, 12> bytes{};

    static StatusEvent Make(int status, uint16_t reason) {
        StatusEvent event;
        const auto code = static_cast<uint32_t>(status);
        event.bytes[0] = RELAY_STATUS;
        for (size_t i = 0; i < 4; ++i) event.bytes[4 + i] = static_cast<uint8_t>(code >> (8 * i));
        event.bytes[8] = static_cast<uint8_t>(reason);
        event.bytes[9] = static_cast<uint8_t>(reason >> 8);
        return event;
    }

    // The status code of a record of at least 8 bytes.
    static int StatusOf(const uint8_t* record) {
        uint32_t code = 0;
        for (int i = 0; i < 4; ++i) code |= static_cast<uint32_t>(record[4 + i]) << (8 * i);
        return static_cast<int>(code);
    }

    static uint16_t ReasonOf(const uint8_t* record) {
        return static_cast<uint16_t>(record[8] | (record[9] << 8));
    }

    platform::COPYDATASTRUCT AsCopyData() const {
        return {1, static_cast<uint32_t>(bytes.size()), bytes.data()};
    }
};

}  // namespace gateway
