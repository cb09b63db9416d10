#include "sim/CapiMessage.h"

namespace sim {

CCapiMessage::CCapiMessage(uint8_t command, uint8_t subcommand, uint16_t applId,
                           uint16_t messageNumber) {
    m_bytes.resize(capi::kHeaderLength);
    m_bytes[4] = command;
    m_bytes[5] = subcommand;
    m_bytes[2] = static_cast<uint8_t>(applId & 0xFF);
    m_bytes[3] = static_cast<uint8_t>(applId >> 8);
    m_bytes[6] = static_cast<uint8_t>(messageNumber & 0xFF);
    m_bytes[7] = static_cast<uint8_t>(messageNumber >> 8);
    SetLength(static_cast<uint16_t>(capi::kHeaderLength));
}

std::optional<CCapiMessage> CCapiMessage::Parse(std::span<const uint8_t> body) {
    if (body.size() < capi::kHeaderLength) return std::nullopt;
    const auto length = static_cast<uint16_t>(body[0] | (body[1] << 8));
    // The length must cover the header and may not claim bytes the frame lacks.
    if (length < capi::kHeaderLength || length > body.size()) return std::nullopt;
    CCapiMessage message;
    message.m_bytes.assign(body.begin(), body.end());
    message.m_wLength = length;
    return message;
}

std::optional<uint16_t> CCapiMessage::ReadWord(size_t offset) const {
    if (offset + 2 > m_wLength) return std::nullopt;
    return static_cast<uint16_t>(m_bytes[offset] | (m_bytes[offset + 1] << 8));
}

std::optional<uint32_t> CCapiMessage::ReadDword(size_t offset) const {
    if (offset + 4 > m_wLength) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(m_bytes[offset + i]) << (8 * i);
    return value;
}

std::optional<CCapiMessage::Struct> CCapiMessage::ReadStruct(size_t offset) const {
    if (offset >= m_wLength) return std::nullopt;
    size_t length = m_bytes[offset];
    size_t start = offset + 1;
    if (length == 0xFF) {  // escape: a 16-bit length follows
        const auto wide = ReadWord(offset + 1);
        if (!wide) return std::nullopt;
        length = *wide;
        start = offset + 3;
    }
    if (start + length > m_wLength) return std::nullopt;
    return Struct{std::span<const uint8_t>(m_bytes).subspan(start, length), start + length};
}

std::span<const uint8_t> CCapiMessage::Trailer() const {
    return std::span<const uint8_t>(m_bytes).subspan(m_wLength);
}

CCapiMessage& CCapiMessage::AddByte(uint8_t value) {
    m_bytes.insert(m_bytes.begin() + m_wLength, value);
    SetLength(static_cast<uint16_t>(m_wLength + 1));
    return *this;
}

CCapiMessage& CCapiMessage::AddWord(uint16_t value) {
    AddByte(static_cast<uint8_t>(value & 0xFF));
    return AddByte(static_cast<uint8_t>(value >> 8));
}

CCapiMessage& CCapiMessage::AddDword(uint32_t value) {
    AddWord(static_cast<uint16_t>(value & 0xFFFF));
    return AddWord(static_cast<uint16_t>(value >> 16));
}

CCapiMessage& CCapiMessage::AddStruct(std::span<const uint8_t> content) {
    AddByte(static_cast<uint8_t>(content.size()));
    for (uint8_t b : content) AddByte(b);
    return *this;
}

CCapiMessage& CCapiMessage::AddTrailer(std::span<const uint8_t> data) {
    m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    return *this;
}

void CCapiMessage::SetLength(uint16_t length) {
    m_wLength = length;
    m_bytes[0] = static_cast<uint8_t>(length & 0xFF);
    m_bytes[1] = static_cast<uint8_t>(length >> 8);
}

}  // namespace sim
