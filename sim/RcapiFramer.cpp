#include "sim/RcapiFramer.h"

namespace sim {

void CRcapiFramer::Feed(std::span<const uint8_t> bytes) {
    if (m_nStart > 0 && m_nStart == m_buffer.size()) {
        m_buffer.clear();
        m_nStart = 0;
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

CRcapiFramer::Result CRcapiFramer::Next(std::vector<uint8_t>& body) {
    const size_t available = m_buffer.size() - m_nStart;
    if (available < 2) return Result::NeedMore;
    const size_t length =
        static_cast<size_t>(m_buffer[m_nStart] << 8) | static_cast<size_t>(m_buffer[m_nStart + 1]);
    if (length < 2) return Result::Broken;
    if (available < length) return Result::NeedMore;
    const auto first = m_buffer.begin() + static_cast<std::ptrdiff_t>(m_nStart + 2);
    body.assign(first, first + static_cast<std::ptrdiff_t>(length - 2));
    m_nStart += length;
    if (m_nStart > 65536) {  // keep the buffer from growing without bound
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_nStart));
        m_nStart = 0;
    }
    return Result::Frame;
}

std::optional<std::vector<uint8_t>> CRcapiFramer::Encode(std::span<const uint8_t> body) {
    const size_t length = body.size() + 2;
    if (length > MAX_SEND_FRAME) return std::nullopt;
    std::vector<uint8_t> frame;
    frame.reserve(length);
    frame.push_back(static_cast<uint8_t>(length >> 8));
    frame.push_back(static_cast<uint8_t>(length & 0xFF));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

}  // namespace sim
