#pragma once

#include <string>

namespace gateway {

class CStatusPage;

// Reply codes of the local server.
enum LocalReplyCode : int {
    REPLY_OK = 0,
    REPLY_FORBIDDEN = 1,
    REPLY_NOT_FOUND = 2,
    REPLY_SERVER_ERROR = 3,
};

// One read of the current browser connection while the relay is off, taken
// as a whole request: GET gets the status page, any other method 403; bytes
// without a method get no reply. The caller keeps data.
void HandleLocalRequest(int length, const char* data, CStatusPage* page);

// The whole reply for a code: status line, the two headers, the body. The
// status page falls back to 404 without a template.
std::string BuildLocalReply(int code, const CStatusPage* page);

// Writes the reply to the bridge's current connection, closes it and serves
// the next waiting one.
void SendLocalReply(int code, CStatusPage* page);

}  // namespace gateway
