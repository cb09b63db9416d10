#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capi/CapiConstants.h"

namespace sim {

// One CAPI message as it travels in an rcapi frame body: the message itself
// (its own little-endian length first) and, for DATA_B3, the data after it.
// Reading never goes past the bytes present: a field that is not there reads
// as std::nullopt, so a short or lying message cannot take us out of bounds.
class CCapiMessage {
public:
    CCapiMessage(uint8_t command, uint8_t subcommand, uint16_t applId, uint16_t messageNumber);
    static std::optional<CCapiMessage> Parse(std::span<const uint8_t> body);

    uint16_t Length() const { return m_wLength; }
    uint16_t ApplId() const { return ReadWord(2).value_or(0); }
    uint8_t Command() const { return m_bytes[4]; }
    uint8_t Subcommand() const { return m_bytes[5]; }
    uint16_t MessageNumber() const { return ReadWord(6).value_or(0); }

    std::optional<uint16_t> ReadWord(size_t offset) const;
    std::optional<uint32_t> ReadDword(size_t offset) const;
    // A structure at offset: its content, and where the next parameter starts.
    struct Struct {
        std::span<const uint8_t> content;
        size_t next = 0;
    };
    std::optional<Struct> ReadStruct(size_t offset) const;
    // Bytes that follow the message inside the frame (DATA_B3 data).
    std::span<const uint8_t> Trailer() const;

    CCapiMessage& AddByte(uint8_t value);
    CCapiMessage& AddWord(uint16_t value);
    CCapiMessage& AddDword(uint32_t value);
    CCapiMessage& AddStruct(std::span<const uint8_t> content);
    CCapiMessage& AddEmptyStruct() { return AddByte(0); }
    // Appends bytes after the message without counting them in its length.
    CCapiMessage& AddTrailer(std::span<const uint8_t> data);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Overwrites raw bytes, to build deliberately broken messages.
    std::vector<uint8_t>& MutableBytes() { return m_bytes; }

private:
    CCapiMessage() = default;
    void SetLength(uint16_t length);

    std::vector<uint8_t> m_bytes;
    uint16_t m_wLength = 0;
};

}  // namespace sim
