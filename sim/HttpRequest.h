#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace sim {

// An HTTP/1.1 request assembled from the pieces in which it arrives over the
// B-channel. It is complete when the headers and Content-Length bytes of body
// are in; anything it cannot accept ends it with an error status.
class CHttpRequest {
public:
    enum class State { NeedMore, Complete, Bad };

    static constexpr size_t MAX_HEADER_BYTES = 16 * 1024;
    static constexpr size_t MAX_BODY_BYTES = 64 * 1024;
    // The PBX's upload page takes bulk data for line measurements.
    static constexpr const char* UPLOAD_PATH = "/empfang";
    static constexpr size_t MAX_UPLOAD_BYTES = 16 * 1024 * 1024;

    // The largest body a request to this path may carry.
    static size_t BodyLimit(const std::string& path);

    State Feed(std::span<const uint8_t> bytes);
    State GetState() const { return m_state; }
    bool Empty() const { return m_raw.empty(); }

    int ErrorStatus() const { return m_nErrorStatus; }
    const std::string& ErrorText() const { return m_strError; }
    const std::string& Method() const { return m_strMethod; }
    const std::string& Path() const { return m_strPath; }
    const std::string& Query() const { return m_strQuery; }
    const std::string& Body() const { return m_strBody; }
    // Header by lower-case name; empty when absent.
    std::string Header(const std::string& lowerName) const;

private:
    State Fail(int status, std::string text);
    State ParseHead(const std::string& head);
    bool ParseRequestLine(const std::string& line);

    std::string m_raw;
    size_t m_nBodyStart = 0;
    size_t m_nContentLength = 0;
    State m_state = State::NeedMore;
    int m_nErrorStatus = 0;
    std::string m_strError;
    std::string m_strMethod;
    std::string m_strPath;
    std::string m_strQuery;
    std::string m_strBody;
    std::map<std::string, std::string> m_headers;
};

}  // namespace sim
