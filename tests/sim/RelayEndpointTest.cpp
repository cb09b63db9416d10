#include <gtest/gtest.h>

#include <algorithm>

#include "sim/PbxSite.h"
#include "sim/RelayEndpoint.h"

namespace {

using Frame = std::vector<uint8_t>;

Frame Data(const std::string& text) {
    Frame f(text.size() + 1, 0x00);
    std::copy(text.begin(), text.end(), f.begin() + 1);
    return f;
}

// Runs one exchange and returns the answer text, checking the framing on the way.
std::string Exchange(sim::CRelayEndpoint& endpoint, const std::vector<Frame>& in, bool& closed,
                     size_t maxFrame = 2048) {
    std::string answer;
    closed = false;
    for (const auto& frame : in) {
        for (const auto& out : endpoint.OnFrame(frame)) {
            EXPECT_FALSE(closed) << "nothing may follow the close frame";
            EXPECT_LE(out.size(), maxFrame);
            EXPECT_FALSE(out.empty());
            if (out[0] == 0x01) {
                EXPECT_EQ(out.size(), 1u);
                closed = true;
            } else {
                EXPECT_EQ(out[0], 0x00);
                EXPECT_GT(out.size(), 1u);
                answer.append(out.begin() + 1, out.end());
            }
        }
    }
    return answer;
}

TEST(RelayEndpoint, AnswersEachExchangeAndClosesIt) {
    struct Case {
        const char* name;
        std::vector<Frame> frames;
        std::string expect;  // empty: no answer text at all
        bool closed;
    };
    const Case cases[] = {
        {"start page", {{0x01}, Data("GET / HTTP/1.1\r\n\r\n")}, "HTTP/1.1 200 OK", true},
        {"request in pieces",
         {{0x01}, Data("GET /sti"), Data("l.css HTTP/1.1\r\n"), Data("\r\n")},
         "Content-Type: text/css; charset=utf-8",
         true},
        {"unknown page", {{0x01}, Data("GET /gibtsnicht HTTP/1.1\r\n\r\n")}, "404 Not Found", true},
        {"wrong method", {{0x01}, Data("DELETE / HTTP/1.1\r\n\r\n")}, "Allow: GET, HEAD", true},
        {"post to a read-only page",
         {{0x01}, Data("POST /anrufliste HTTP/1.1\r\nContent-Length: 0\r\n\r\n")},
         "405 Method Not Allowed",
         true},
        {"broken request", {{0x01}, Data("NONSENSE\r\n\r\n")}, "400 Bad Request", true},
        {"bad form value",
         {{0x01},
          Data("POST /nebenstellen HTTP/1.1\r\nContent-Type: application/"
               "x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\nnr1=2x9")},
         "400 Bad Request",
         true},
        {"bad percent coding",
         {{0x01},
          Data("POST /datum HTTP/1.1\r\nContent-Type: application/"
               "x-www-form-urlencoded\r\nContent-Length: 5\r\n\r\nzeit%")},
         "400 Bad Request",
         true},
        {"browser closes before asking", {{0x01}, {0x00}}, "", true},
        {"browser closes mid-request", {{0x01}, Data("GET / HT"), {0x00}}, "400 Bad Request", true},
        {"data without open is ignored", {Data("GET / HTTP/1.1\r\n\r\n")}, "", false},
        {"unknown frame types are ignored",
         {{0x01}, {0x07, 0x41}, {}, Data("GET / HTTP/1.1\r\n\r\n")},
         "200 OK",
         true},
        {"open restarts a half request",
         {{0x01}, Data("GARBAGE"), {0x01}, Data("GET / HTTP/1.1\r\n\r\n")},
         "200 OK",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CPbxSite site;
        sim::CRelayEndpoint endpoint(site, 2048);
        bool closed = false;
        const std::string answer = Exchange(endpoint, c.frames, closed);
        EXPECT_EQ(closed, c.closed);
        if (c.expect.empty())
            EXPECT_TRUE(answer.empty());
        else
            EXPECT_NE(answer.find(c.expect), std::string::npos) << answer.substr(0, 300);
    }
}

TEST(RelayEndpoint, AnswersCarryLengthNoStoreAndClose) {
    sim::CPbxSite site;
    for (const char* path : {"/", "/nebenstellen", "/rufumleitung", "/datum", "/anrufliste",
                             "/beenden", "/stil.css", "/bilder/logo.svg", "/gibtsnicht"}) {
        SCOPED_TRACE(path);
        sim::CRelayEndpoint endpoint(site, 300);
        bool closed = false;
        const std::string answer =
            Exchange(endpoint, {{0x01}, Data(std::string("GET ") + path + " HTTP/1.1\r\n\r\n")},
                     closed, 300);
        ASSERT_TRUE(closed);
        const auto headEnd = answer.find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos);
        const std::string head = answer.substr(0, headEnd);
        EXPECT_NE(head.find("Connection: close"), std::string::npos);
        EXPECT_NE(head.find("Cache-Control: no-store"), std::string::npos);
        EXPECT_NE(head.find("Content-Length: " + std::to_string(answer.size() - headEnd - 4)),
                  std::string::npos);
    }
}

// Splits a request into data frames of at most 2047 bytes, as the relay sends it.
std::vector<Frame> Framed(const std::string& request) {
    std::vector<Frame> frames{{0x01}};
    for (size_t pos = 0; pos < request.size(); pos += 2047)
        frames.push_back(Data(request.substr(pos, 2047)));
    return frames;
}

std::string Post(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nContent-Type: application/octet-stream\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(RelayEndpoint, MeasurementPagesSendAndTakeBulkData) {
    struct Case {
        const char* name;
        std::string request;
        std::string status;
        std::string body;  // the exact body, or empty: not checked
        size_t bodySize;
    };
    const std::string quarter(256 * 1024, 'x');
    const Case cases[] = {
        {"256 KB of text", "GET /daten?groesse=262144 HTTP/1.1\r\n\r\n", "200 OK", "", 262144},
        {"one byte", "GET /daten?groesse=1 HTTP/1.1\r\n\r\n", "200 OK", "T", 1},
        {"nothing at all", "GET /daten?groesse=0 HTTP/1.1\r\n\r\n", "200 OK", "", 0},
        {"size missing", "GET /daten HTTP/1.1\r\n\r\n", "400 Bad Request", "", SIZE_MAX},
        {"size not a number", "GET /daten?groesse=12k HTTP/1.1\r\n\r\n", "400 Bad Request", "",
         SIZE_MAX},
        {"size above the limit", "GET /daten?groesse=999999999 HTTP/1.1\r\n\r\n", "400 Bad Request",
         "", SIZE_MAX},
        {"upload of 256 KB", Post("/empfang", quarter), "200 OK", "262144\n", 7},
        {"empty upload", Post("/empfang", ""), "200 OK", "0\n", 2},
        {"reading the upload page", "GET /empfang HTTP/1.1\r\n\r\n", "Allow: POST", "", SIZE_MAX},
        {"posting to the data page", Post("/daten", "a"), "Allow: GET, HEAD", "", SIZE_MAX},
        {"forms keep their small limit", Post("/nebenstellen", quarter), "413", "", SIZE_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CPbxSite site;
        sim::CRelayEndpoint endpoint(site, 2048);
        bool closed = false;
        const std::string answer = Exchange(endpoint, Framed(c.request), closed);
        ASSERT_TRUE(closed);
        EXPECT_NE(answer.substr(0, answer.find("\r\n\r\n")).find(c.status), std::string::npos)
            << answer.substr(0, 300);
        const std::string body = answer.substr(answer.find("\r\n\r\n") + 4);
        if (c.bodySize != SIZE_MAX) {
            EXPECT_EQ(body.size(), c.bodySize);
        }
        if (!c.body.empty()) {
            EXPECT_EQ(body, c.body);
        }
    }
}

TEST(RelayEndpoint, StoredFormValuesAreShownEscapedOnTheNextPage) {
    sim::CPbxSite site;
    sim::CRelayEndpoint endpoint(site, 2048);
    const std::string body = "nr2=31&name2=K%C3%BCche+%3Cb%3E&msn2=123";
    bool closed = false;
    Exchange(endpoint,
             {{0x01},
              Data("POST /nebenstellen HTTP/1.1\r\nContent-Type: application/x-www-form-"
                   "urlencoded\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body)},
             closed);
    EXPECT_EQ(site.GetExtension(1).name, "Küche <b>");
    const std::string page =
        Exchange(endpoint, {{0x01}, Data("GET /nebenstellen HTTP/1.1\r\n\r\n")}, closed);
    EXPECT_NE(page.find("Küche &lt;b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("Küche <b>"), std::string::npos);
    const std::string quit =
        Exchange(endpoint, {{0x01}, Data("GET /beenden HTTP/1.1\r\n\r\n")}, closed);
    EXPECT_NE(quit.find("window.close()"), std::string::npos);
}

}  // namespace
