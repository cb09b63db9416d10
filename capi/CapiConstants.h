#pragma once

#include <cstddef>
#include <cstdint>

namespace capi {

// Commands of the CAPI 2.0 messages the system sends or may receive.
namespace Command {
inline constexpr uint8_t Alert = 0x01;
inline constexpr uint8_t Connect = 0x02;
inline constexpr uint8_t ConnectActive = 0x03;
inline constexpr uint8_t Disconnect = 0x04;
inline constexpr uint8_t Listen = 0x05;
inline constexpr uint8_t Info = 0x08;
inline constexpr uint8_t SelectBProtocol = 0x41;
inline constexpr uint8_t Facility = 0x80;
inline constexpr uint8_t ConnectB3 = 0x82;
inline constexpr uint8_t ConnectB3Active = 0x83;
inline constexpr uint8_t DisconnectB3 = 0x84;
inline constexpr uint8_t DataB3 = 0x86;
inline constexpr uint8_t ResetB3 = 0x87;
inline constexpr uint8_t ConnectB3T90Active = 0x88;
inline constexpr uint8_t Manufacturer = 0xFF;
}  // namespace Command

namespace Subcommand {
inline constexpr uint8_t Req = 0x80;
inline constexpr uint8_t Conf = 0x81;
inline constexpr uint8_t Ind = 0x82;
inline constexpr uint8_t Resp = 0x83;
}  // namespace Subcommand

// Info values (results of the library calls and Info words of messages).
namespace Info {
inline constexpr uint32_t Success = 0;
// The register class "not installed" of the Linux library; reported as NotInstalled.
inline constexpr uint32_t RegNotInstalled = 0x1009;
inline constexpr uint32_t RegOsResourceError = 0x1008;
inline constexpr uint32_t IllegalApplicationId = 0x1101;
inline constexpr uint32_t ReceiveQueueEmpty = 0x1104;
inline constexpr uint32_t MsgOsResourceError = 0x1108;
// The one value the program uses for a missing library, entry point or registration.
inline constexpr uint32_t NotInstalled = 0x1109;
// A message the senders refuse to build because its parameters do not fit.
inline constexpr uint32_t IllegalMessageParameterCoding = 0x2007;
}  // namespace Info

// Registration of the one application: two logical connections, seven data
// blocks of 2048 bytes in flight.
inline constexpr unsigned kMaxLogicalConnections = 2;
inline constexpr unsigned kMaxBDataBlocks = 7;
inline constexpr unsigned kMaxBDataLength = 2048;

// The Linux library copies the data of a DATA_B3_REQ into the caller's buffer
// right after the message, and one backend reads 2173 bytes of every message
// put: every buffer handed to the put call has this size.
inline constexpr size_t kPutBufferSize = 2176;
// Largest message (without DATA_B3 data) the senders build.
inline constexpr size_t kMaxMessageLength = 212;

inline constexpr size_t kHeaderLength = 8;
// DATA_B3_REQ/IND: the short form carries a 32-bit data pointer only, the long
// form also a 64-bit one at offset 22.
inline constexpr size_t kDataB3ShortLength = 22;
inline constexpr size_t kDataB3LongLength = 30;

// Message numbers run 1 .. 0x7FFF; the counter starts at 1 so that the first
// message carries 2.
inline constexpr uint16_t kFirstMessageCounter = 1;
inline constexpr uint16_t kLastMessageNumber = 0x7FFF;

}  // namespace capi
