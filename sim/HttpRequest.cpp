#include "sim/HttpRequest.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace sim {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool IsToken(const std::string& text) {
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) !=
                                      std::string_view::npos;
    });
}

// Lines of the head; bare LF is accepted as well as CRLF.
std::vector<std::string> SplitLines(const std::string& head) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos <= head.size()) {
        const auto end = head.find('\n', pos);
        std::string line =
            head.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return lines;
}

}  // namespace

CHttpRequest::State CHttpRequest::Feed(std::span<const uint8_t> bytes) {
    if (m_state != State::NeedMore) return m_state;
    m_raw.append(bytes.begin(), bytes.end());
    if (m_nBodyStart == 0) {
        auto end = m_raw.find("\r\n\r\n");
        size_t sep = 4;
        const auto lf = m_raw.find("\n\n");
        if (lf != std::string::npos && (end == std::string::npos || lf < end)) {
            end = lf;
            sep = 2;
        }
        if (end == std::string::npos) {
            if (m_raw.size() > MAX_HEADER_BYTES) return Fail(431, "Kopfzeilen zu groß");
            return State::NeedMore;
        }
        if (end > MAX_HEADER_BYTES) return Fail(431, "Kopfzeilen zu groß");
        m_nBodyStart = end + sep;
        if (ParseHead(m_raw.substr(0, end)) == State::Bad) return m_state;
    }
    if (m_raw.size() - m_nBodyStart < m_nContentLength) return State::NeedMore;
    m_strBody = m_raw.substr(m_nBodyStart, m_nContentLength);
    m_state = State::Complete;
    return m_state;
}

CHttpRequest::State CHttpRequest::Fail(int status, std::string text) {
    m_state = State::Bad;
    m_nErrorStatus = status;
    m_strError = std::move(text);
    return m_state;
}

bool CHttpRequest::ParseRequestLine(const std::string& line) {
    const auto sp1 = line.find(' ');
    const auto sp2 = line.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos ||
        line.find(' ', sp2 + 1) != std::string::npos)
        return false;
    m_strMethod = line.substr(0, sp1);
    const std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = line.substr(sp2 + 1);
    if (!IsToken(m_strMethod) || target.empty() || target[0] != '/') return false;
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return false;
    for (char c : target)
        if (c <= 0x20 || c >= 0x7F) return false;
    const auto question = target.find('?');
    m_strPath = target.substr(0, question);
    if (question != std::string::npos) m_strQuery = target.substr(question + 1);
    return true;
}

CHttpRequest::State CHttpRequest::ParseHead(const std::string& head) {
    const auto lines = SplitLines(head);
    if (lines.empty() || !ParseRequestLine(lines[0])) return Fail(400, "Ungültige Anfragezeile");
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto colon = lines[i].find(':');
        if (colon == std::string::npos || !IsToken(lines[i].substr(0, colon)))
            return Fail(400, "Ungültige Kopfzeile");
        const std::string name = Lower(lines[i].substr(0, colon));
        const std::string value = Trim(lines[i].substr(colon + 1));
        if (name == "content-length" && m_headers.count(name) && m_headers[name] != value)
            return Fail(400, "Widersprüchliche Content-Length");
        m_headers[name] = value;
    }
    if (m_headers.count("transfer-encoding"))
        return Fail(501, "Transfer-Encoding nicht unterstützt");
    const auto length = m_headers.find("content-length");
    if (length != m_headers.end()) {
        const std::string& v = length->second;
        if (v.empty() || v.size() > 9 ||
            !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return Fail(400, "Ungültige Content-Length");
        m_nContentLength = std::stoul(v);
        if (m_nContentLength > BodyLimit(m_strPath)) return Fail(413, "Anfrage zu groß");
    } else if (m_strMethod == "POST") {
        return Fail(411, "Content-Length fehlt");
    }
    return State::NeedMore;
}

size_t CHttpRequest::BodyLimit(const std::string& path) {
    return path == UPLOAD_PATH ? MAX_UPLOAD_BYTES : MAX_BODY_BYTES;
}

std::string CHttpRequest::Header(const std::string& lowerName) const {
    const auto it = m_headers.find(lowerName);
    return it == m_headers.end() ? std::string() : it->second;
}

}  // namespace sim
