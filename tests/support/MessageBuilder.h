#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

// Builds a received CAPI message: header, then parameters.
class MessageBuilder {
public:
    MessageBuilder(uint8_t command, uint8_t subcommand, uint16_t number);
    MessageBuilder& U16(uint16_t value);
    MessageBuilder& U32(uint32_t value);
    MessageBuilder& Bytes(const std::vector<uint8_t>& bytes);
    // Sets the length field; bytes appended afterwards follow the message.
    std::vector<uint8_t> Finish(const std::vector<uint8_t>& trailing = {});

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace testsupport
