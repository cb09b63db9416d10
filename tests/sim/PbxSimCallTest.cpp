#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "tests/sim/CapiTestClient.h"

using namespace std::chrono_literals;
using simtest::CCapiTestClient;
using simtest::CSimProcess;
using simtest::CTestCall;

namespace {

const std::string GET_START = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";

std::string PostExtensions(const std::string& name) {
    const std::string body = "nr1=20&name1=" + name + "&msn1=4711020";
    return "POST /nebenstellen HTTP/1.1\r\nHost: localhost\r\nContent-Type: "
           "application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

class PbxSimCall : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CCapiTestClient::LibraryPresent()) GTEST_SKIP() << "libcapi20.so.3 not installed";
    }
};

TEST_F(PbxSimCall, WholeCallCarriesPagesBothWaysAndClearsNormally) {
    CSimProcess sim({"--port", "0", "--dial-delay", "50", "--rate", "unlimited"});
    ASSERT_NE(sim.Port(), 0);
    CCapiTestClient client(sim.Port());
    ASSERT_TRUE(client.Register());
    CTestCall call(client);
    ASSERT_TRUE(call.Dial("0301234"));

    const auto start = call.Fetch(GET_START, 10);  // the request arrives in many small frames
    ASSERT_TRUE(start);
    EXPECT_NE(start->find("HTTP/1.1 200 OK"), std::string::npos);
    EXPECT_NE(start->find("Connection: close"), std::string::npos);
    EXPECT_NE(start->find("Systemzustand"), std::string::npos);

    const auto saved = call.Fetch(PostExtensions("Empfang+%C3%9Cbersee"));
    ASSERT_TRUE(saved);
    EXPECT_NE(saved->find("gespeichert"), std::string::npos);
    EXPECT_NE(saved->find("Empfang Übersee"), std::string::npos);
    const auto again = call.Fetch("GET /nebenstellen HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(again);
    EXPECT_NE(again->find("Empfang Übersee"), std::string::npos);

    call.frameSizes.clear();
    const auto log = call.Fetch("GET /anrufliste HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(log);
    EXPECT_GT(log->size(), 200u * 1024u);
    for (size_t size : call.frameSizes) EXPECT_LE(size, 2048u);

    client.received.clear();
    ASSERT_TRUE(call.Hangup());
    bool b3IndFirst = false;
    for (const auto& m : client.received) {
        if (m.Command() == capi::Command::DisconnectB3 && m.Subcommand() == capi::Subcommand::Ind)
            b3IndFirst = true;
        if (m.Command() == capi::Command::Disconnect && m.Subcommand() == capi::Subcommand::Ind)
            break;
    }
    EXPECT_TRUE(b3IndFirst);
    EXPECT_EQ(sim.Stop() & 0xFFFF, 0) << "SIGTERM ends the simulator cleanly";
}

TEST_F(PbxSimCall, EveryCalledNumberGetsTheNetworksReason) {
    struct Case {
        std::string number;
        uint16_t reason;
    };
    const Case cases[] = {
        {"0301111", 0x3483}, {"0302222", 0x3492}, {"0303333", 0x3495}, {"0304444", 0x3496},
        {"0305555", 0x349C}, {"0306666", 0x34D8}, {"0307777", 0x3483}, {"0309876", 0x3483},
        {"", 0x349C},        {"0555", 0x3491},
    };
    CSimProcess sim({"--port", "0", "--dial-delay", "20", "--busy-number", "0555"});
    ASSERT_NE(sim.Port(), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE("number " + c.number);
        CCapiTestClient client(sim.Port());
        ASSERT_TRUE(client.Register());
        ASSERT_EQ(client.Put(client.ConnectReq(c.number)), 0u);
        const auto conf = client.WaitFor(capi::Command::Connect, capi::Subcommand::Conf);
        ASSERT_TRUE(conf);
        EXPECT_EQ(conf->ReadWord(12), 0);
        const auto ind = client.WaitFor(capi::Command::Disconnect, capi::Subcommand::Ind);
        ASSERT_TRUE(ind);
        EXPECT_EQ(ind->ReadWord(12), c.reason);
        EXPECT_EQ(ind->ReadDword(8), conf->ReadDword(8));
    }
}

TEST_F(PbxSimCall, PbxNumberIsSettableAndAnswersWithConnectedNumber) {
    CSimProcess sim({"--port", "0", "--dial-delay", "0", "--pbx-number", "0899",
                     "--connected-number", "0899100"});
    CCapiTestClient client(sim.Port());
    ASSERT_TRUE(client.Register());
    ASSERT_EQ(client.Put(client.ConnectReq("0899")), 0u);
    const auto active = client.WaitFor(capi::Command::ConnectActive, capi::Subcommand::Ind);
    ASSERT_TRUE(active);
    const auto number = active->ReadStruct(12);
    ASSERT_TRUE(number);
    const std::string digits(number->content.begin() + 2, number->content.end());
    EXPECT_EQ(number->content[0], 0x00);
    EXPECT_EQ(digits, "0899100");
}

struct FaultCase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(CCapiTestClient&, CTestCall&)> check;
};

void DialToB3(CCapiTestClient&, CTestCall& call) {
    ASSERT_TRUE(call.Dial("0301234"));
}

const FaultCase FAULTS[] = {
    {"negative CONNECT_CONF",
     {"--connect-conf-info", "0x2003"},
     [](CCapiTestClient& client, CTestCall&) {
         client.Put(client.ConnectReq("0301234"));
         const auto conf = client.WaitFor(capi::Command::Connect, capi::Subcommand::Conf);
         ASSERT_TRUE(conf);
         EXPECT_EQ(conf->ReadWord(12), 0x2003);
     }},
    {"negative CONNECT_B3_CONF",
     {"--connect-b3-conf-info", "0x3008"},
     [](CCapiTestClient& client, CTestCall& call) {
         EXPECT_FALSE(call.Dial("0301234"));
         const auto& last = client.received.back();
         EXPECT_EQ(last.Command(), capi::Command::ConnectB3);
         EXPECT_EQ(last.ReadWord(12), 0x3008);
     }},
    {"withheld DATA_B3_CONF",
     {"--withhold-data-conf"},
     [](CCapiTestClient& client, CTestCall& call) {
         DialToB3(client, call);
         sim::CCapiMessage req(capi::Command::DataB3, capi::Subcommand::Req, 0,
                               client.NextNumber());
         const std::vector<uint8_t> frame{0x01};
         req.AddDword(call.ncci).AddDword(0).AddWord(1).AddWord(7).AddWord(0).AddDword(0).AddDword(
             0);
         ASSERT_EQ(client.Put(req, frame), 0u);
         EXPECT_FALSE(client.WaitFor(capi::Command::DataB3, capi::Subcommand::Conf, 1500ms));
     }},
    {"delayed DATA_B3_CONF still arrives",
     {"--data-conf-delay", "300"},
     [](CCapiTestClient& client, CTestCall& call) {
         DialToB3(client, call);
         EXPECT_EQ(call.SendFrame({0x01}), 0);
         EXPECT_EQ(call.SendFrame({0x01}), 0);
     }},
    {"DISCONNECT_IND after B3 active",
     {"--disconnect-at", "b3-active", "--disconnect-reason", "0x34A9"},
     [](CCapiTestClient& client, CTestCall& call) {
         call.Dial("0301234");
         const auto b3 = client.WaitFor(capi::Command::DisconnectB3, capi::Subcommand::Ind);
         ASSERT_TRUE(b3);
         const auto ind = client.WaitFor(capi::Command::Disconnect, capi::Subcommand::Ind);
         ASSERT_TRUE(ind);
         EXPECT_EQ(ind->ReadWord(12), 0x34A9);
     }},
    {"DISCONNECT_IND at answer",
     {"--disconnect-at", "active"},
     [](CCapiTestClient& client, CTestCall&) {
         client.Put(client.ConnectReq("0301234"));
         ASSERT_TRUE(client.WaitFor(capi::Command::ConnectActive, capi::Subcommand::Ind));
         const auto ind = client.WaitFor(capi::Command::Disconnect, capi::Subcommand::Ind);
         ASSERT_TRUE(ind);
         EXPECT_EQ(ind->ReadWord(12), 0x3490);
     }},
    {"TCP connection dropped mid-call",
     {"--drop-at", "data"},
     [](CCapiTestClient& client, CTestCall& call) {
         DialToB3(client, call);
         call.SendFrame({0x01});
         for (int i = 0; i < 300 && !client.ConnectionClosed(); ++i)
             std::this_thread::sleep_for(100ms);
         EXPECT_TRUE(client.ConnectionClosed());
     }},
    {"malformed message before the answer",
     {"--malformed-at", "active"},
     [](CCapiTestClient& client, CTestCall& call) {
         DialToB3(client, call);
         bool unknown = false;
         for (const auto& m : client.received) unknown |= m.Command() == 0x7E;
         EXPECT_TRUE(unknown);
     }},
    {"truncated message before B3 active",
     {"--malformed-at", "b3-active", "--malformed-kind", "truncated"},
     [](CCapiTestClient& client, CTestCall& call) {
         DialToB3(client, call);
         bool truncated = false;
         for (const auto& m : client.received)
             truncated |= m.Length() == 10 && m.Command() == capi::Command::ConnectB3Active;
         EXPECT_TRUE(truncated);
     }},
    {"far end clears when idle",
     {"--idle-clear", "0.3"},
     [](CCapiTestClient& client, CTestCall& call) {
         DialToB3(client, call);
         const auto ind = client.WaitFor(capi::Command::Disconnect, capi::Subcommand::Ind);
         ASSERT_TRUE(ind);
         EXPECT_EQ(ind->ReadWord(12), 0x3490);
     }},
};

TEST_F(PbxSimCall, EveryFaultOptionDoesWhatItSays) {
    for (const auto& fault : FAULTS) {
        SCOPED_TRACE(fault.name);
        std::vector<std::string> args{"--port", "0", "--dial-delay", "20"};
        args.insert(args.end(), fault.args.begin(), fault.args.end());
        CSimProcess sim(args);
        ASSERT_NE(sim.Port(), 0);
        CCapiTestClient client(sim.Port());
        ASSERT_TRUE(client.Register());
        CTestCall call(client);
        fault.check(client, call);
    }
}

int RawConnect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST_F(PbxSimCall, GarbageOnOneConnectionLeavesOtherApplicationsServed) {
    CSimProcess sim({"--port", "0", "--dial-delay", "20", "--rate", "unlimited"});
    CCapiTestClient client(sim.Port());
    ASSERT_TRUE(client.Register());
    CTestCall call(client);
    ASSERT_TRUE(call.Dial("0301234"));

    const std::vector<std::vector<uint8_t>> garbage{
        {0x00, 0x00},                                                  // length below its own size
        {0x00, 0x02},                                                  // empty body
        {0x00, 0x06, 0x00, 0x00, 0x00, 0x00},                          // too short for anything
        {0x00, 0x0c, 0, 0, 0, 0, 0xf2, 0xff, 0, 0, 0, 0},              // short register request
        {0x00, 0x0e, 0x40, 0x00, 1, 0, 0x86, 0x80, 1, 0, 1, 1, 1, 0},  // length lies
        {0x00, 0x0e, 0x0c, 0x00, 1, 0, 0x77, 0x80, 1, 0, 0, 0, 0, 0},  // unknown command
        {0xff, 0xff, 0x01},  // announces more than ever comes
    };
    for (const auto& bytes : garbage) {
        const int fd = RawConnect(sim.Port());
        ASSERT_GE(fd, 0);
        // A registered application sending nonsense, then vanishing.
        const uint8_t reg[] = {0x00, 0x17, 0, 0,    0,    0,    0xf2, 0xff, 0,    0,    0,   0,
                               0,    0,    0, 0x08, 0x02, 0x00, 0x07, 0x00, 0x00, 0x08, 0x02};
        ASSERT_EQ(send(fd, reg, sizeof reg, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof reg));
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        close(fd);
    }
    const auto page = call.Fetch(GET_START);
    ASSERT_TRUE(page);
    EXPECT_NE(page->find("200 OK"), std::string::npos);

    CCapiTestClient second(sim.Port());
    ASSERT_TRUE(second.Register());
    CTestCall other(second);
    ASSERT_TRUE(other.Dial("0301234"));
    EXPECT_TRUE(other.Hangup());
    EXPECT_TRUE(call.Hangup());
}

TEST_F(PbxSimCall, AnswersInformationRequestsOfTheLibrary) {
    CSimProcess sim({"--port", "0"});
    CCapiTestClient client(sim.Port());
    ASSERT_TRUE(client.Register());
    EXPECT_NE(CCapiTestClient::Manufacturer().find("TK 2408"), std::string::npos);
}

}  // namespace
