#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gateway/LocalReply.h"
#include "tests/gateway/LocalServer.h"
#include "tests/gateway/LoopbackClient.h"

namespace {

using gatewaytest::LocalServer;
using gatewaytest::LoopbackClient;

const char* const kGet = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";

struct RequestCase {
    const char* name;
    std::string request;
    int code;
};

TEST(LocalServer, EachRequestGetsItsReplyAndTheEnd) {
    const std::vector<RequestCase> cases = {
        {"GetRoot", kGet, gateway::REPLY_OK},
        {"GetAnyPath", "GET /favicon.ico HTTP/1.1\r\n\r\n", gateway::REPLY_OK},
        {"GetWithoutVersion", "GET x", gateway::REPLY_OK},
        {"Post", "POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", gateway::REPLY_FORBIDDEN},
        {"LowerCaseGet", "get / HTTP/1.1\r\n\r\n", gateway::REPLY_FORBIDDEN},
        {"Head", "HEAD / HTTP/1.1\r\n\r\n", gateway::REPLY_FORBIDDEN},
        {"GetPrefix", "GETX / HTTP/1.1\r\n\r\n", gateway::REPLY_FORBIDDEN},
    };
    LocalServer server;
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackClient client(server.Port(), c.request);
        ASSERT_TRUE(LocalServer::PumpUntil({&client}, [&] { return client.Done(); }));
        EXPECT_FALSE(client.Reset());
        EXPECT_EQ(client.Received(), server.Reply(c.code));
    }
    LoopbackClient post(server.Port(), "POST / HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(LocalServer::PumpUntil({&post}, [&] { return post.Done(); }));
    EXPECT_EQ(post.Received().size(), 119u);
}

TEST(LocalServer, StatusPageCarriesTheCallStatus) {
    LocalServer server("<html><STATUS /></html>");
    server.bridge->m_nStatus = isdn::STATUS_READY;
    server.bridge->m_wReason = 0x349C;
    LoopbackClient client(server.Port(), "GET /favicon.ico HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(LocalServer::PumpUntil({&client}, [&] { return client.Done(); }));
    const std::string body =
        "<html><STATUS />ISDN Status: Capi: 0x349c - ETSI x9C: Nummernformat falsch</html>";
    EXPECT_EQ(client.Received(), "HTTP/1.1 200 OK\r\nContent-type: text/html\r\nContent-length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body);
}

// Reads a whole reply on its own thread, with a small receive buffer, so the
// server's writes of a large page fill the socket while it is still sending.
std::string FetchWithSmallWindow(unsigned port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string received;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0 &&
        ::send(fd, kGet, std::strlen(kGet), MSG_NOSIGNAL) > 0) {
        char buffer[1024];
        for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            received.append(buffer, static_cast<size_t>(count));
        }
    }
    ::close(fd);
    return received;
}

// A page larger than what the socket takes in one write still arrives whole.
TEST(LocalServer, LargePageArrivesWhole) {
    const std::string big(gateway::CStatusPage::kMaxTemplateSize - 16, 'p');
    LocalServer server(big + "<STATUS />");
    // Accepted connections inherit the listener's small send buffer.
    const int small = 4096;
    ::setsockopt(server.bridge->m_pServSocket->Handle(), SOL_SOCKET, SO_SNDBUF, &small,
                 sizeof small);
    std::atomic<bool> finished{false};
    std::string received;
    std::thread reader([&] {
        received = FetchWithSmallWindow(server.Port());
        finished = true;
    });
    const bool done = testsupport::RunUntil([&] { return finished.load(); }, gatewaytest::kBoundMs);
    reader.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(received, server.Reply(gateway::REPLY_OK));
}

TEST(LocalServer, WithoutTemplateEveryGetIsNotFound) {
    const std::string notFound =
        "HTTP/1.1 404 NOT FOUND\r\nContent-type: text/html\r\nContent-length: 48\r\n\r\n"
        "<HTML><BODY>ERROR: 404 NOT FOUND\r\n</BODY></HTML>";
    const std::vector<std::optional<std::string>> templates = {std::nullopt, std::string()};
    for (const auto& page : templates) {
        SCOPED_TRACE(page ? "empty template" : "no template");
        LocalServer server(page);
        LoopbackClient client(server.Port(), kGet);
        ASSERT_TRUE(LocalServer::PumpUntil({&client}, [&] { return client.Done(); }));
        EXPECT_EQ(client.Received(), notFound);
    }
}

enum class FirstEnds { ByRequest, ByClose, ByReset };

struct OrderCase {
    const char* name;
    FirstEnds end;
};

// The second connection waits, unread, while the first is served, and is
// answered as soon as the first has ended; no further connection is needed
// to set it going.
TEST(LocalServer, WaitingConnectionIsServedWhenTheCurrentEnds) {
    const std::vector<OrderCase> cases = {
        {"AfterLocalReply", FirstEnds::ByRequest},
        {"AfterBrowserClose", FirstEnds::ByClose},
        {"AfterBrowserReset", FirstEnds::ByReset},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer server;
        LoopbackClient first(server.Port());
        ASSERT_TRUE(LocalServer::PumpUntil({&first}, [&] { return server.HasCurrent(); }));
        LoopbackClient second(server.Port(), kGet);
        ASSERT_TRUE(LocalServer::PumpUntil(
            {&first, &second}, [&] { return server.PendingCount() == 1 && second.AllSent(); }));
        EXPECT_TRUE(second.Received().empty());

        switch (c.end) {
            case FirstEnds::ByRequest:
                first.Send(kGet);
                break;
            case FirstEnds::ByClose:
                first.CloseNow();
                break;
            case FirstEnds::ByReset:
                first.CloseWithReset();
                break;
        }
        ASSERT_TRUE(LocalServer::PumpUntil({&first, &second}, [&] { return second.Done(); }));
        EXPECT_EQ(second.Received(), server.Reply(gateway::REPLY_OK));
        if (c.end == FirstEnds::ByRequest) {
            EXPECT_EQ(first.Received(), server.Reply(gateway::REPLY_OK));
        }
        EXPECT_FALSE(server.HasCurrent());
        EXPECT_EQ(server.PendingCount(), 0u);
    }
}

// A connection that brings no request must not keep every later one waiting.
TEST(LocalServer, UnansweredConnectionMakesWayForTheNext) {
    const std::vector<std::string> firstSends = {"", "GE", std::string("\x01\x02\xff", 3)};
    for (const std::string& bytes : firstSends) {
        SCOPED_TRACE("first sends " + std::to_string(bytes.size()) + " bytes");
        LocalServer server(std::string("<p><STATUS /></p>"), 100);
        LoopbackClient first(server.Port(), bytes);
        LoopbackClient second(server.Port(), kGet);
        ASSERT_TRUE(LocalServer::PumpUntil({&first, &second},
                                           [&] { return first.Done() && second.Done(); }));
        EXPECT_TRUE(first.Received().empty());
        EXPECT_EQ(second.Received(), server.Reply(gateway::REPLY_OK));
    }
}

struct BadClientCase {
    const char* name;
    std::string bytes;
    bool reset;  // closes with a reset once the server serves it
};

std::string Garbage(size_t size, bool withBlanks) {
    std::mt19937 random(4711);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string text(size, '\0');
    for (char& c : text) {
        int value = byte(random);
        if (!withBlanks && value == ' ') value = '!';
        c = static_cast<char>(value);
    }
    return text;
}

TEST(LocalServer, KeepsServingAfterBadInput) {
    const std::vector<BadClientCase> cases = {
        {"GarbageWithBlanks", Garbage(4096, true), false},
        {"GarbageWithoutBlank", Garbage(4096, false), false},
        {"MegabyteGet", "GET /" + std::string(1024 * 1024, 'a') + " HTTP/1.1\r\n\r\n", false},
        {"MegabyteWithoutMethod", std::string(1024 * 1024, 'A'), false},
        {"ResetWithoutData", "", true},
        {"ResetAfterPartialRequest", "GE", true},
        {"NulBytes", std::string(100, '\0'), false},
    };
    for (const BadClientCase& c : cases) {
        SCOPED_TRACE(c.name);
        // A client about to reset is left alone until it does.
        LocalServer server(std::string("<p><STATUS /></p>"), c.reset ? 60000 : 200);
        {
            LoopbackClient bad(server.Port(), c.bytes);
            if (c.reset) {
                ASSERT_TRUE(LocalServer::PumpUntil(
                    {&bad}, [&] { return server.HasCurrent() && bad.AllSent(); }));
                bad.CloseWithReset();
                ASSERT_TRUE(LocalServer::PumpUntil({}, [&] { return !server.HasCurrent(); }));
            } else {
                ASSERT_TRUE(LocalServer::PumpUntil({&bad}, [&] { return bad.Done(); }));
            }
        }
        LoopbackClient good(server.Port(), kGet);
        ASSERT_TRUE(LocalServer::PumpUntil({&good}, [&] { return good.Done(); }));
        EXPECT_EQ(good.Received(), server.Reply(gateway::REPLY_OK));
    }
}

// Far more connections than the listener's backlog of 5: the system keeps
// what does not fit in its own queues, and what the server takes it answers
// whole; afterwards it still serves a new connection.
TEST(LocalServer, TwoHundredConnectionsAtOnce) {
    LocalServer server;
    const std::string expected = server.Reply(gateway::REPLY_OK);
    {
        std::vector<std::unique_ptr<LoopbackClient>> clients;
        std::vector<LoopbackClient*> all;
        for (int i = 0; i < 200; ++i) {
            clients.push_back(std::make_unique<LoopbackClient>(server.Port(), kGet));
            all.push_back(clients.back().get());
        }
        const auto answered = [&] {
            return std::count_if(all.begin(), all.end(),
                                 [](const LoopbackClient* client) { return client->Done(); });
        };
        ASSERT_TRUE(LocalServer::PumpUntil(all, [&] { return answered() > 5; }));
        for (const LoopbackClient* client : all) {
            if (client->Done()) {
                EXPECT_EQ(client->Received(), expected);
            }
        }
    }
    LoopbackClient after(server.Port(), kGet);
    ASSERT_TRUE(LocalServer::PumpUntil({&after}, [&] { return after.Done(); }));
    EXPECT_EQ(after.Received(), expected);
}

}  // namespace
