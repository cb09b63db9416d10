#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace capi {

// A structure found inside a received message.
struct CapiStruct {
    const uint8_t* start = nullptr;    // the length field
    const uint8_t* content = nullptr;  // the first content byte
    size_t length = 0;                 // content bytes
    size_t size = 0;                   // length field and content
};

// Reads the parameters of one received message without ever looking past its
// end: every read names an offset and fails when the value does not lie
// wholly inside the message.
class CMessageReader {
public:
    CMessageReader(const uint8_t* message, size_t length)
        : m_pMessage(message), m_nLength(length) {}

    std::optional<uint8_t> U8(size_t offset) const;
    std::optional<uint16_t> U16(size_t offset) const;
    std::optional<uint32_t> U32(size_t offset) const;
    std::optional<uint64_t> U64(size_t offset) const;
    std::optional<CapiStruct> Struct(size_t offset) const;
    size_t Length() const { return m_nLength; }
    const uint8_t* Data() const { return m_pMessage; }

private:
    bool Covers(size_t offset, size_t count) const {
        return offset <= m_nLength && count <= m_nLength - offset;
    }

    const uint8_t* m_pMessage;
    size_t m_nLength;
};

}  // namespace capi
