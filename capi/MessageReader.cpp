#include "capi/MessageReader.h"

namespace capi {

std::optional<uint8_t> CMessageReader::U8(size_t offset) const {
    if (!Covers(offset, 1)) return std::nullopt;
    return m_pMessage[offset];
}

std::optional<uint16_t> CMessageReader::U16(size_t offset) const {
    if (!Covers(offset, 2)) return std::nullopt;
    return static_cast<uint16_t>(m_pMessage[offset] | m_pMessage[offset + 1] << 8);
}

std::optional<uint32_t> CMessageReader::U32(size_t offset) const {
    const auto low = U16(offset);
    const auto high = U16(offset + 2);
    if (!low || !high) return std::nullopt;
    return static_cast<uint32_t>(*low) | static_cast<uint32_t>(*high) << 16;
}

std::optional<uint64_t> CMessageReader::U64(size_t offset) const {
    const auto low = U32(offset);
    const auto high = U32(offset + 4);
    if (!low || !high) return std::nullopt;
    return static_cast<uint64_t>(*low) | static_cast<uint64_t>(*high) << 32;
}

std::optional<CapiStruct> CMessageReader::Struct(size_t offset) const {
    const auto first = U8(offset);
    if (!first) return std::nullopt;
    CapiStruct found;
    found.start = m_pMessage + offset;
    size_t header = 1;
    found.length = *first;
    if (*first == 0xFF) {
        // Escaped length: 0xFF followed by a 16-bit length.
        const auto escaped = U16(offset + 1);
        if (!escaped) return std::nullopt;
        header = 3;
        found.length = *escaped;
    }
    if (!Covers(offset + header, found.length)) return std::nullopt;
    found.content = m_pMessage + offset + header;
    found.size = header + found.length;
    return found;
}

}  // namespace capi
