#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sim {

// One answer of the PBX's web server. Every answer closes its connection
// (the relay carries one exchange per browser connection) and may not be
// cached, because the pages show the live state of the system.
class CHttpResponse {
public:
    CHttpResponse(int status, std::string contentType, std::string body);

    static CHttpResponse Html(int status, std::string body);
    static std::string ReasonPhrase(int status);

    void AddHeader(std::string name, std::string value);
    // Leaves the body off the wire but keeps its length (HEAD requests).
    void SetHeadOnly() { m_bHeadOnly = true; }

    int Status() const { return m_nStatus; }
    const std::string& Body() const { return m_strBody; }
    std::string Serialize() const;

private:
    int m_nStatus;
    std::string m_strContentType;
    std::string m_strBody;
    std::vector<std::pair<std::string, std::string>> m_headers;
    bool m_bHeadOnly = false;
};

}  // namespace sim
