#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gateway/ClientSocket.h"
#include "gateway/RelayDispatch.h"
#include "tests/gateway/LocalServer.h"
#include "tests/gateway/LoopbackClient.h"

namespace {

using gatewaytest::LocalServer;
using gatewaytest::LoopbackClient;

const std::string kOpen("\x01", 1);
const std::string kEnd("\x00", 1);

std::string DataFrame(const std::string& payload) {
    return kEnd + payload;
}

std::string RequestOf(size_t size) {
    std::string request = "GET / HTTP/1.1\r\nX-Fill: ";
    while (request.size() < size) request += static_cast<char>('a' + request.size() % 26);
    request.resize(size);
    return request;
}

// With the relay on the request goes out unchanged, behind the open frame,
// one data frame per read, none larger than one B-channel block.
TEST(RelayConnections, RequestBecomesOpenThenDataFrames) {
    const std::vector<size_t> sizes = {1, 100, 2047, 2048, 3000, 10000};
    for (const size_t size : sizes) {
        SCOPED_TRACE("request of " + std::to_string(size) + " bytes");
        LocalServer server;
        server.StartRelay();
        const std::string request = RequestOf(size);
        LoopbackClient client(server.Port(), request);
        std::string relayed;
        ASSERT_TRUE(LocalServer::PumpUntil({&client}, [&] {
            relayed.clear();
            const auto frames = server.Frames();
            for (size_t i = 1; i < frames.size(); ++i) relayed += frames[i].substr(1);
            return relayed.size() >= request.size();
        }));
        const auto frames = server.Frames();
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(frames[0], kOpen);
        for (size_t i = 1; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i][0], '\x00');
            EXPECT_GE(frames[i].size(), 2u);
            EXPECT_LE(frames[i].size(), 2048u);
        }
        EXPECT_GE(frames.size() - 1, (size + 2046) / 2047);
        EXPECT_EQ(relayed, request);
        EXPECT_TRUE(client.Received().empty());
    }
}

// A window that is only there to receive the relay's posts.
class SilentWindow : public platform::CWnd {
public:
    ~SilentWindow() override { ClosePort(); }

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT&) override { return 0; }
    void OnMessage(unsigned) override {}
};

// A connection served while the relay was off, whose request comes only once
// the relay is on, still gets its exchange opened before its data.
TEST(RelayConnections, ConnectionServedBeforeTheRelayTurnsOnIsOpenedToo) {
    LocalServer server;
    LoopbackClient client(server.Port());
    ASSERT_TRUE(LocalServer::PumpUntil({&client}, [&] { return server.HasCurrent(); }));
    server.bridge->StartCall("1234", nullptr);
    SilentWindow window;
    gateway::CRelayDispatch relay(window);
    relay.OnRelayOn(server.bridge.get());

    const std::string request = RequestOf(100);
    client.Send(request);
    ASSERT_TRUE(LocalServer::PumpUntil({&client}, [&] { return server.Frames().size() >= 2; }));
    const auto frames = server.Frames();
    EXPECT_EQ(frames[0], kOpen);
    EXPECT_EQ(frames[1], DataFrame(request));
}

TEST(RelayConnections, ZeroByteReadGivesTheEmptyDataFrame) {
    LocalServer server;
    server.StartRelay();
    server.bridge->OnBrowserData(0, std::make_unique<char[]>(gateway::CClientSocket::kReadSize));
    ASSERT_TRUE(LocalServer::PumpUntil({}, [&] { return server.Frames().size() == 1; }));
    EXPECT_EQ(server.Frames()[0], kEnd);
}

// The browser's close only sends the end frame: the connection stays the
// current one, and the next waits, until the PBX's close frame ends it.
TEST(RelayConnections, BrowserCloseOnlyQueuesTheEndFrame) {
    LocalServer server;
    server.StartRelay();
    const std::string request = "GET /a HTTP/1.1\r\n\r\n";
    LoopbackClient first(server.Port(), request);
    ASSERT_TRUE(LocalServer::PumpUntil({&first}, [&] { return server.Frames().size() == 2; }));
    first.CloseNow();
    ASSERT_TRUE(LocalServer::PumpUntil({}, [&] { return server.Frames().size() == 3; }));
    EXPECT_EQ(server.Frames(), (std::vector<std::string>{kOpen, DataFrame(request), kEnd}));
    EXPECT_TRUE(server.HasCurrent());

    const std::string second = "GET /b HTTP/1.1\r\n\r\n";
    LoopbackClient next(server.Port(), second);
    ASSERT_TRUE(LocalServer::PumpUntil({&next}, [&] { return server.PendingCount() == 1; }));
    EXPECT_TRUE(server.HasCurrent());

    // What the main window does with the PBX's close frame.
    server.bridge->m_pCurrentSocket.reset();
    server.bridge->ActivateNextSocket();
    ASSERT_TRUE(LocalServer::PumpUntil({&next}, [&] { return server.Frames().size() == 5; }));
    EXPECT_EQ(server.Frames()[3], kOpen);
    EXPECT_EQ(server.Frames()[4], DataFrame(second));
}

// A relayed connection waits for the PBX however long it takes; the bound
// for unanswered connections holds only while requests are answered here.
TEST(RelayConnections, AnswerBoundDoesNotCutARelayedConnection) {
    LocalServer server(std::string("<p><STATUS /></p>"), 1);
    server.StartRelay();
    LoopbackClient first(server.Port(), "GET / HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(LocalServer::PumpUntil({&first}, [&] { return server.Frames().size() == 2; }));
    // A second connection accepted after the bound has long passed still
    // finds the first one current.
    LoopbackClient second(server.Port());
    ASSERT_TRUE(
        LocalServer::PumpUntil({&first, &second}, [&] { return server.PendingCount() == 1; }));
    EXPECT_TRUE(server.HasCurrent());
    EXPECT_FALSE(first.Done());
}

}  // namespace
