#include "sim/HttpResponse.h"

namespace sim {

CHttpResponse::CHttpResponse(int status, std::string contentType, std::string body)
    : m_nStatus(status), m_strContentType(std::move(contentType)), m_strBody(std::move(body)) {}

CHttpResponse CHttpResponse::Html(int status, std::string body) {
    return CHttpResponse(status, "text/html; charset=utf-8", std::move(body));
}

std::string CHttpResponse::ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 303:
            return "See Other";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 501:
            return "Not Implemented";
        default:
            return "Internal Server Error";
    }
}

void CHttpResponse::AddHeader(std::string name, std::string value) {
    m_headers.emplace_back(std::move(name), std::move(value));
}

std::string CHttpResponse::Serialize() const {
    std::string out =
        "HTTP/1.1 " + std::to_string(m_nStatus) + " " + ReasonPhrase(m_nStatus) + "\r\n";
    out += "Server: TK-Web/2.4\r\n";
    out += "Content-Type: " + m_strContentType + "\r\n";
    out += "Content-Length: " + std::to_string(m_strBody.size()) + "\r\n";
    out += "Cache-Control: no-store\r\n";
    out += "Connection: close\r\n";
    for (const auto& [name, value] : m_headers) out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (!m_bHeadOnly) out += m_strBody;
    return out;
}

}  // namespace sim
