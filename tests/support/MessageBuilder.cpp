#include "tests/support/MessageBuilder.h"

namespace testsupport {

MessageBuilder::MessageBuilder(uint8_t command, uint8_t subcommand, uint16_t number) {
    m_bytes = {0,
               0,
               1,
               0,
               command,
               subcommand,
               static_cast<uint8_t>(number),
               static_cast<uint8_t>(number >> 8)};
}

MessageBuilder& MessageBuilder::U16(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
    return *this;
}

MessageBuilder& MessageBuilder::U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    return U16(static_cast<uint16_t>(value >> 16));
}

MessageBuilder& MessageBuilder::Bytes(const std::vector<uint8_t>& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<uint8_t> MessageBuilder::Finish(const std::vector<uint8_t>& trailing) {
    std::vector<uint8_t> out = m_bytes;
    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
}

}  // namespace testsupport
