#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

// The remote-CAPI stream framing: a big-endian 16-bit length that counts its
// own two bytes, then the body. Bytes arrive in arbitrary pieces from TCP, so
// the framer collects them and hands out whole bodies.
class CRcapiFramer {
public:
    enum class Result { Frame, NeedMore, Broken };

    void Feed(std::span<const uint8_t> bytes);
    // Takes the next whole body. Broken means the stream cannot be resynced
    // (a length below 2): the connection has to be closed.
    Result Next(std::vector<uint8_t>& body);

    // A frame around body, or nothing when the body cannot be framed.
    static std::optional<std::vector<uint8_t>> Encode(std::span<const uint8_t> body);

    // The remote library reads frames into a 4096-byte buffer.
    static constexpr size_t MAX_SEND_FRAME = 4096;

private:
    std::vector<uint8_t> m_buffer;
    size_t m_nStart = 0;
};

}  // namespace sim
