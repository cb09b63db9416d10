#pragma once

#include <cstddef>
#include <string>

namespace bench {

// One HTTP exchange with the local listener, timed at the client: from the
// first byte of the request sent to the last byte of the answer received.
struct Transfer {
    size_t sentBytes = 0;
    size_t headBytes = 0;  // status line and headers with their blank line
    size_t bodyBytes = 0;
    size_t contentLength = 0;
    double seconds = 0;
    std::string head;
    std::string body;  // kept only when asked for

    size_t ReceivedBytes() const { return headBytes + bodyBytes; }
    // The answer is there and as long as its header says.
    bool Complete() const { return headBytes > 0 && bodyBytes == contentLength; }
};

// Blocking; gives up after boundMs without progress.
Transfer TimedExchange(unsigned port, const std::string& request, bool keepBody = false,
                       int boundMs = 120000);

}  // namespace bench
