#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/HttpRequest.h"

namespace sim {

class CPbxSite;

// The PBX's end of the relay framing on the B-channel. The open frame (0x01)
// starts an exchange, data frames (0x00 + bytes) carry the browser's request,
// the lone 0x00 is the browser's close. The answer goes back as data frames
// and the exchange ends with the close frame 0x01.
class CRelayEndpoint {
public:
    static constexpr uint8_t RELAY_DATA = 0x00;
    static constexpr uint8_t RELAY_CONTROL = 0x01;
    static constexpr size_t MAX_FRAME = 2048;

    // maxFrame: the largest block the far side accepts (at most 2048).
    CRelayEndpoint(CPbxSite& site, size_t maxFrame);

    // One received B-channel block; the frames to send back, in order.
    std::vector<std::vector<uint8_t>> OnFrame(std::span<const uint8_t> frame);

private:
    void Answer(std::vector<std::vector<uint8_t>>& out);
    void AppendResponse(const std::string& bytes, std::vector<std::vector<uint8_t>>& out) const;

    CPbxSite& m_site;
    size_t m_nMaxFrame;
    std::unique_ptr<CHttpRequest> m_request;  // null while no exchange is open
};

}  // namespace sim
