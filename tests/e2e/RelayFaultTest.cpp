// The relay end to end without a browser: real bridge, connection control,
// libcapi20 and the PBX simulator, with HTTP clients on the local port.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "gateway/CapiBridgeParts.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HeadlessRelay.h"
#include "tests/support/SimProcess.h"

namespace {

using testsupport::CHeadlessRelay;
using testsupport::CSimProcess;
using testsupport::RunUntil;

constexpr const char* kPbx = "0301234";

bool LibraryInstalled() {
    void* handle = dlopen("libcapi20.so.3", RTLD_NOW | RTLD_LOCAL);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

std::string Get(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
}

// Runs an HTTP exchange on a thread of its own while this thread runs the
// event loop that serves it.
std::string Exchange(CHeadlessRelay& relay, const std::string& request,
                     size_t stopAfter = SIZE_MAX) {
    auto reply = std::async(std::launch::async, testsupport::HttpExchange, relay.Port(), request,
                            60000, stopAfter);
    EXPECT_TRUE(RunUntil(
        [&] { return reply.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        90000));
    return reply.get();
}

// The body of a reply, and whether it is as long as its header says.
bool CompleteReply(const std::string& reply) {
    const auto header = reply.find("\r\n\r\n");
    const auto length = reply.find("Content-Length: ");
    if (header == std::string::npos || length == std::string::npos) return false;
    const size_t expected = std::stoul(reply.substr(length + 16));
    return reply.size() - header - 4 == expected;
}

class RelayFault : public testing::Test {
protected:
    void StartSim(std::vector<std::string> options) {
        if (!LibraryInstalled()) GTEST_SKIP() << "libcapi20.so.3 is not installed";
        options.insert(options.begin(), {"--port", "0", "--dial-delay", "50"});
        sim = std::make_unique<CSimProcess>(options);
        ASSERT_NE(sim->Port(), 0) << "the PBX simulator did not start";
        const std::string server = "rcapi:127.0.0.1:" + std::to_string(sim->Port());
        setenv("QUORBEL_CAPI", server.c_str(), 1);
        gateway::BridgeParts parts = gateway::CapiBridgeParts();
        parts.templatePaths = {QUORBEL_SHIPPED_TEMPLATE};
        relay = std::make_unique<CHeadlessRelay>(std::move(parts));
    }

    void Connect() {
        // A call is refused while the relay of the last one is still on.
        ASSERT_TRUE(RunUntil([&] { return !relay->RelayActive(); }));
        ASSERT_TRUE(relay->Bridge().StartCall(kPbx, ""));
        ASSERT_TRUE(RunUntil([&] { return relay->RelayActive(); })) << "call not connected";
    }

    void HangUpAndExpectReady() {
        relay->Bridge().EndCall();
        ASSERT_TRUE(RunUntil([&] { return relay->Status() == 1 && !relay->RelayActive(); }));
    }

    void TearDown() override {
        relay.reset();
        unsetenv("QUORBEL_CAPI");
    }

    std::unique_ptr<CSimProcess> sim;
    std::unique_ptr<CHeadlessRelay> relay;
};

TEST_F(RelayFault, PagesFormsAndTheLargePageArriveWholeThroughTheRelay) {
    StartSim({"--rate", "unlimited"});
    if (IsSkipped()) return;
    Connect();

    const std::string start = Exchange(*relay, Get("/"));
    EXPECT_NE(start.find("HTTP/1.1 200"), std::string::npos);
    EXPECT_NE(start.find("TK 2408"), std::string::npos);
    EXPECT_TRUE(CompleteReply(start));

    const std::string form = "nr1=21&name1=Werkstatt&msn1=4711";
    const std::string posted =
        Exchange(*relay,
                 "POST /nebenstellen HTTP/1.1\r\nHost: localhost\r\nContent-Type: "
                 "application/x-www-form-urlencoded\r\nContent-Length: " +
                     std::to_string(form.size()) + "\r\n\r\n" + form);
    EXPECT_TRUE(CompleteReply(posted));
    EXPECT_NE(Exchange(*relay, Get("/nebenstellen")).find("Werkstatt"), std::string::npos);

    const std::string log = Exchange(*relay, Get("/anrufliste"));
    EXPECT_GT(log.size(), 150000u);
    EXPECT_TRUE(CompleteReply(log));
    HangUpAndExpectReady();
    EXPECT_EQ(relay->Bridge().m_wReason, 0x3490);
}

TEST_F(RelayFault, BrowserClosingInTheMiddleOfAnAnswerLeavesTheRelayServing) {
    StartSim({"--rate", "2000000"});
    if (IsSkipped()) return;
    Connect();
    // Read a little of the large page, then go away.
    auto early = std::async(std::launch::async, [port = relay->Port()] {
        return testsupport::HttpExchange(port, Get("/anrufliste"), 60000, SIZE_MAX).size();
    });
    auto cut = std::async(std::launch::async, [port = relay->Port()] {
        // A client that closes after the first bytes of its answer.
        return testsupport::HttpExchange(port, Get("/anrufliste"), 60000, 4096).size();
    });
    ASSERT_TRUE(RunUntil(
        [&] {
            return cut.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready &&
                   early.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        },
        90000));
    EXPECT_GT(early.get(), 150000u);
    cut.get();
    // The next request is served whole.
    EXPECT_TRUE(CompleteReply(Exchange(*relay, Get("/"))));
    HangUpAndExpectReady();
}

TEST_F(RelayFault, CallDroppingInTheMiddleOfAnAnswerEndsCleanlyAndTheNextCallWorks) {
    // The simulator drops the CAPI connection when the third block reaches it:
    // open frame, request, then the end frame of a browser that leaves while
    // the answer is still coming.
    StartSim({"--rate", "200000", "--drop-at", "data", "--fault-block", "3"});
    if (IsSkipped()) return;
    Connect();
    const std::string reply = Exchange(*relay, Get("/anrufliste"), 4096);
    EXPECT_FALSE(CompleteReply(reply));
    ASSERT_TRUE(RunUntil([&] { return relay->Status() == 1 && !relay->RelayActive(); }, 10000));
    EXPECT_EQ(relay->Bridge().m_wReason & 0xFF00, 0x3300);
    // Requests are answered locally again, and a new call connects.
    const std::string local = Exchange(*relay, Get("/"));
    EXPECT_NE(local.find("HTTP/1.1 200 OK"), std::string::npos) << local;
    Connect();
    HangUpAndExpectReady();
}

TEST_F(RelayFault, ConnectionsWaitingWhileTheRelayTurnsOffAreEnded) {
    StartSim({"--rate", "64000"});
    if (IsSkipped()) return;
    Connect();
    std::vector<std::future<std::string>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::async(std::launch::async, testsupport::HttpExchange, relay->Port(),
                                     Get("/anrufliste"), 60000, SIZE_MAX));
    }
    // Let the first answer get under way, then clear the call.
    ASSERT_TRUE(RunUntil([&] { return relay->Bridge().m_pCurrentSocket != nullptr; }));
    relay->Bridge().EndCall();
    ASSERT_TRUE(RunUntil(
        [&] {
            for (auto& client : clients) {
                if (client.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
                    return false;
                }
            }
            return true;
        },
        30000));
    // Every client has been let go; none got the whole page.
    for (auto& client : clients) EXPECT_FALSE(CompleteReply(client.get()));
    ASSERT_TRUE(RunUntil([&] { return relay->Status() == 1; }));
    Connect();
    EXPECT_TRUE(CompleteReply(Exchange(*relay, Get("/"))));
    HangUpAndExpectReady();
}

}  // namespace
