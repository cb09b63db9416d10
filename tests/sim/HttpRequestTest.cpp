#include <gtest/gtest.h>

#include "sim/HttpRequest.h"

namespace {

using State = sim::CHttpRequest::State;

TEST(HttpRequest, ParsesRequestsArrivingInPieces) {
    struct Case {
        const char* name;
        std::string raw;
        size_t piece;
        State state;
        int status;
        std::string method, path, body;
    };
    const Case cases[] = {
        {"simple GET", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", 1000, State::Complete, 0, "GET", "/",
         ""},
        {"GET byte by byte", "GET /datum?x=1 HTTP/1.1\r\n\r\n", 1, State::Complete, 0, "GET",
         "/datum", ""},
        {"bare LF lines", "GET /a HTTP/1.0\nHost: x\n\n", 3, State::Complete, 0, "GET", "/a", ""},
        {"POST with body in pieces", "POST /p HTTP/1.1\r\nContent-Length: 7\r\n\r\na=1&b=2", 4,
         State::Complete, 0, "POST", "/p", "a=1&b=2"},
        {"body not complete yet", "POST /p HTTP/1.1\r\nContent-Length: 9\r\n\r\na=1", 100,
         State::NeedMore, 0, "POST", "/p", ""},
        {"POST without length", "POST /p HTTP/1.1\r\n\r\n", 100, State::Bad, 411, "", "", ""},
        {"bad length", "POST /p HTTP/1.1\r\nContent-Length: -4\r\n\r\n", 100, State::Bad, 400, "",
         "", ""},
        {"conflicting lengths",
         "POST /p HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 100, State::Bad, 400,
         "", "", ""},
        {"too large body", "POST /p HTTP/1.1\r\nContent-Length: 999999\r\n\r\n", 100, State::Bad,
         413, "", "", ""},
        {"upload page takes a large body",
         "POST /empfang HTTP/1.1\r\nContent-Length: 999999\r\n\r\n", 100, State::NeedMore, 0,
         "POST", "/empfang", ""},
        {"upload page has its limit too",
         "POST /empfang HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", 100, State::Bad, 413, "", "",
         ""},
        {"chunked", "POST /p HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 100, State::Bad, 501,
         "", "", ""},
        {"garbage line", "HELLO\r\n\r\n", 100, State::Bad, 400, "", "", ""},
        {"relative target", "GET index.html HTTP/1.1\r\n\r\n", 100, State::Bad, 400, "", "", ""},
        {"unknown version", "GET / HTTP/2.0\r\n\r\n", 100, State::Bad, 400, "", "", ""},
        {"header without colon", "GET / HTTP/1.1\r\nBroken\r\n\r\n", 100, State::Bad, 400, "", "",
         ""},
        {"endless header", "GET / HTTP/1.1\r\nX: " + std::string(20000, 'a'), 1000, State::Bad, 431,
         "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CHttpRequest request;
        State state = State::NeedMore;
        for (size_t pos = 0; pos < c.raw.size() && state == State::NeedMore; pos += c.piece) {
            const auto part = c.raw.substr(pos, c.piece);
            state =
                request.Feed(std::span(reinterpret_cast<const uint8_t*>(part.data()), part.size()));
        }
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(request.ErrorStatus(), c.status);
        if (c.state == State::Complete) {
            EXPECT_EQ(request.Method(), c.method);
            EXPECT_EQ(request.Path(), c.path);
            EXPECT_EQ(request.Body(), c.body);
        }
    }
}

}  // namespace
