#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "capi/CapiConstants.h"

namespace capi {

// Builds one outgoing CAPI message (little-endian) in a buffer of its own that
// is large enough for the library to append DATA_B3 data to it. Writing past
// the message limit sets the overflow mark instead of writing.
class CMessageWriter {
public:
    CMessageWriter(uint16_t applId, uint8_t command, uint8_t subcommand, uint16_t number);

    void U8(uint8_t value);
    void U16(uint16_t value);
    void U32(uint32_t value);
    void U64(uint64_t value);
    void EmptyStruct() { U8(0); }
    // A structure as given (length byte, or 0xFF and a 16-bit length, then the
    // content); null writes an empty structure.
    void Struct(const uint8_t* structure);
    // A structure of the given content, preceded by its length byte.
    void StructOf(const uint8_t* content, size_t length);

    void SetNumber(uint16_t number);
    // Stores the total length in the header. False when the message overflowed.
    bool Finish();
    bool Overflowed() const { return m_bOverflow; }
    uint8_t* Data() { return m_Buffer.data(); }
    size_t Length() const { return m_nLength; }

private:
    bool Reserve(size_t count);

    alignas(8) std::array<uint8_t, kPutBufferSize> m_Buffer{};
    size_t m_nLength = 0;
    bool m_bOverflow = false;
};

// Size in bytes of a structure as stored (length field and content).
size_t StructSize(const uint8_t* structure);

}  // namespace capi
