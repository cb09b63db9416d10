#include "capi/MessageWriter.h"

#include <cstring>

namespace capi {

size_t StructSize(const uint8_t* structure) {
    if (structure == nullptr) return 1;
    if (structure[0] != 0xFF) return 1u + structure[0];
    // Escaped length: 0xFF followed by a 16-bit length.
    return 3u + (static_cast<size_t>(structure[1]) | static_cast<size_t>(structure[2]) << 8);
}

CMessageWriter::CMessageWriter(uint16_t applId, uint8_t command, uint8_t subcommand,
                               uint16_t number) {
    U16(0);  // total length, filled in by Finish
    U16(applId);
    U8(command);
    U8(subcommand);
    U16(number);
}

bool CMessageWriter::Reserve(size_t count) {
    if (m_bOverflow || count > kMaxMessageLength - m_nLength) {
        m_bOverflow = true;
        return false;
    }
    return true;
}

void CMessageWriter::U8(uint8_t value) {
    if (!Reserve(1)) return;
    m_Buffer[m_nLength++] = value;
}

void CMessageWriter::U16(uint16_t value) {
    if (!Reserve(2)) return;
    m_Buffer[m_nLength++] = static_cast<uint8_t>(value);
    m_Buffer[m_nLength++] = static_cast<uint8_t>(value >> 8);
}

void CMessageWriter::U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    U16(static_cast<uint16_t>(value >> 16));
}

void CMessageWriter::U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
}

void CMessageWriter::Struct(const uint8_t* structure) {
    if (structure == nullptr) {
        EmptyStruct();
        return;
    }
    const size_t size = StructSize(structure);
    if (!Reserve(size)) return;
    std::memcpy(m_Buffer.data() + m_nLength, structure, size);
    m_nLength += size;
}

void CMessageWriter::StructOf(const uint8_t* content, size_t length) {
    // Longer contents would need the escaped form, which no message of ours uses.
    if (length >= 0xFF || !Reserve(1 + length)) {
        m_bOverflow = true;
        return;
    }
    m_Buffer[m_nLength++] = static_cast<uint8_t>(length);
    if (length > 0) std::memcpy(m_Buffer.data() + m_nLength, content, length);
    m_nLength += length;
}

void CMessageWriter::SetNumber(uint16_t number) {
    m_Buffer[6] = static_cast<uint8_t>(number);
    m_Buffer[7] = static_cast<uint8_t>(number >> 8);
}

bool CMessageWriter::Finish() {
    if (m_bOverflow) return false;
    m_Buffer[0] = static_cast<uint8_t>(m_nLength);
    m_Buffer[1] = static_cast<uint8_t>(m_nLength >> 8);
    return true;
}

}  // namespace capi
