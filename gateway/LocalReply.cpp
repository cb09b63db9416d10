#include "gateway/LocalReply.h"

#include <cstring>
#include <new>
#include <optional>
#include <string_view>

#include "gateway/ClientSocket.h"
#include "gateway/IsdnBridge.h"
#include "gateway/StatusPage.h"

namespace gateway {
namespace {

constexpr const char* kStatusLines[] = {
    "200 OK\r\n",
    "403 FORBIDDEN\r\n",
    "404 NOT FOUND\r\n",
    "500 INTERNEL_SERVER_ERROR\r\n",
};

std::string ErrorBody(const char* statusLine) {
    return std::string("<HTML><BODY>ERROR: ") + statusLine + "</BODY></HTML>";
}

std::string Reply(int code, const std::string& body) {
    std::string reply = "HTTP/1.1 ";
    reply += kStatusLines[code];
    reply += "Content-type: text/html\r\n";
    reply += "Content-length: ";
    reply += std::to_string(body.size());
    reply += "\r\n\r\n";
    reply += body;
    return reply;
}

}  // namespace

std::string BuildLocalReply(int code, const CStatusPage* page) {
    if (code < REPLY_OK || code > REPLY_SERVER_ERROR) code = REPLY_SERVER_ERROR;
    try {
        if (code == REPLY_OK) {
            if (std::optional<std::string> body = ExpandStatusPage(page)) return Reply(code, *body);
            code = REPLY_NOT_FOUND;
        }
        return Reply(code, ErrorBody(kStatusLines[code]));
    } catch (const std::bad_alloc&) {
        return Reply(REPLY_SERVER_ERROR, ErrorBody(kStatusLines[REPLY_SERVER_ERROR]));
    }
}

void HandleLocalRequest(int length, const char* data, CStatusPage* page) {
    if (!data || length <= 0 || !page) return;
    const std::string_view request(data, static_cast<size_t>(length));
    const size_t blank = request.find(' ');
    // No method: the browser's own time-out or close ends the connection.
    if (blank == std::string_view::npos || blank == 0) return;
    SendLocalReply(request.substr(0, blank) == "GET" ? REPLY_OK : REPLY_FORBIDDEN, page);
}

void SendLocalReply(int code, CStatusPage* page) {
    if (!page || !page->m_pBridge) return;
    CIsdnBridge& bridge = *page->m_pBridge;
    std::string reply;
    try {
        reply = BuildLocalReply(code, page);
    } catch (const std::bad_alloc&) {
        // Nothing to send; the connection stays until it is closed otherwise.
        return;
    }
    if (!bridge.m_pCurrentSocket) return;
    CClientSocket& socket = *bridge.m_pCurrentSocket;
    // A single send may take only part of a large page; a browser that stops
    // reading loses its own reply after the bound, no other connection waits
    // longer than that.
    socket.SendAll(reply.data(), reply.size(), page->m_nReplyBoundMs);
    // Unread request bytes would turn the close into a reset, which may
    // destroy the reply before the browser has read it.
    socket.ShutdownAndDrain();
    socket.ShutDown(platform::SD_BOTH);
    socket.Close();
    bridge.m_pCurrentSocket.reset();
    bridge.ActivateNextSocket();
}

}  // namespace gateway
