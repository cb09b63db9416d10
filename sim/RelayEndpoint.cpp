#include "sim/RelayEndpoint.h"

#include <algorithm>

#include "sim/PbxSite.h"

namespace sim {

CRelayEndpoint::CRelayEndpoint(CPbxSite& site, size_t maxFrame)
    : m_site(site), m_nMaxFrame(std::clamp<size_t>(maxFrame, 2, MAX_FRAME)) {}

std::vector<std::vector<uint8_t>> CRelayEndpoint::OnFrame(std::span<const uint8_t> frame) {
    std::vector<std::vector<uint8_t>> out;
    if (frame.empty()) return out;
    if (frame[0] == RELAY_CONTROL) {
        // A new browser connection; whatever was left of an earlier one is gone.
        m_request = std::make_unique<CHttpRequest>();
        return out;
    }
    if (frame[0] != RELAY_DATA || !m_request) return out;
    if (frame.size() == 1) {
        // The browser closed its side. A request cut short still gets its
        // answer, and the close frame tells the relay that the exchange is over.
        if (!m_request->Empty())
            AppendResponse(CPbxSite::ErrorPage(400, "Die Anfrage ist unvollständig.").Serialize(),
                           out);
        out.push_back({RELAY_CONTROL});
        m_request.reset();
        return out;
    }
    if (m_request->Feed(frame.subspan(1)) != CHttpRequest::State::NeedMore) Answer(out);
    return out;
}

void CRelayEndpoint::Answer(std::vector<std::vector<uint8_t>>& out) {
    if (m_request->GetState() == CHttpRequest::State::Complete) {
        AppendResponse(m_site.Handle(*m_request).Serialize(), out);
    } else {
        AppendResponse(
            CPbxSite::ErrorPage(m_request->ErrorStatus(), m_request->ErrorText()).Serialize(), out);
    }
    out.push_back({RELAY_CONTROL});
    m_request.reset();
}

void CRelayEndpoint::AppendResponse(const std::string& bytes,
                                    std::vector<std::vector<uint8_t>>& out) const {
    const size_t chunk = m_nMaxFrame - 1;
    for (size_t pos = 0; pos < bytes.size(); pos += chunk) {
        const size_t n = std::min(chunk, bytes.size() - pos);
        std::vector<uint8_t> frame;
        frame.reserve(n + 1);
        frame.push_back(RELAY_DATA);
        frame.insert(frame.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                     bytes.begin() + static_cast<std::ptrdiff_t>(pos + n));
        out.push_back(std::move(frame));
    }
}

}  // namespace sim
