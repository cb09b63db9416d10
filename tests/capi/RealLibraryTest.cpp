// The binding against the installed libcapi20, talking to a remote-CAPI
// server on loopback that the test runs itself.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/CapiInterface.h"
#include "capi/RemoteCapiSetting.h"
#include "tests/capi/HexBytes.h"
#include "tests/capi/RcapiTestServer.h"
#include "tests/capi/RecordingOperations.h"
#include "tests/support/WaitUntil.h"

namespace capi::test {
namespace {

using testsupport::WaitUntil;

const uint8_t kBProtocol[] = {0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kCallingSubaddress[] = {0x04, 0xA0, 0xD4, 0x00, 0x00};
const uint8_t kPing[] = {'p', 'i', 'n', 'g'};
constexpr uint32_t kPlci = 0x0101;
constexpr uint32_t kNcci = 0x00010101;
constexpr uint16_t kServerHandle = 0x0042;

uint16_t Word(const Bytes& body, size_t offset) {
    return static_cast<uint16_t>(body[offset] | body[offset + 1] << 8);
}

void PutWord(Bytes& body, size_t offset, uint16_t value) {
    body[offset] = static_cast<uint8_t>(value);
    body[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// What the server saw of the application, and how it answers it: a CONNECT_REQ
// is confirmed; a DATA_B3_REQ is confirmed and answered with one DATA_B3_IND.
class PbxScript {
public:
    void operator()(RcapiTestServer& server, int connection, const Bytes& body) {
        if (body.size() < 8) return;
        const uint8_t command = body[4];
        const uint8_t subcommand = body[5];
        std::lock_guard lock(m_Lock);
        if (command == Command::Connect && subcommand == Subcommand::Req) {
            Bytes conf = FromHex("0e 00 00 00 02 81 00 00 01 01 00 00 00 00");
            PutWord(conf, 6, Word(body, 6));
            server.Send(connection, conf);
            connectReqs.push_back(body);
        } else if (command == Command::DataB3 && subcommand == Subcommand::Req) {
            const size_t length = Word(body, 0);
            const size_t dataLength = Word(body, 16);
            if (body.size() >= length + dataLength) {
                received.assign(body.begin() + static_cast<long>(length),
                                body.begin() + static_cast<long>(length + dataLength));
            }
            Bytes conf = FromHex("10 00 00 00 86 81 00 00 01 01 01 00 00 00 00 00");
            PutWord(conf, 6, Word(body, 6));
            PutWord(conf, 12, Word(body, 18));
            server.Send(connection, conf);
            Bytes ind = FromHex(
                "16 00 00 00 86 82 77 00 01 01 01 00 00 00 00 00 04 00 42 00 00 00"
                " 70 6f 6e 67");
            server.Send(connection, ind);
            dataReqHandles.push_back(Word(body, 18));
        } else if (command == Command::DataB3 && subcommand == Subcommand::Resp) {
            dataRespHandles.push_back(Word(body, 12));
        }
    }

    std::mutex m_Lock;
    std::vector<Bytes> connectReqs;
    Bytes received;
    std::vector<uint16_t> dataReqHandles;
    std::vector<uint16_t> dataRespHandles;
};

class RealLibrary : public testing::Test {
protected:
    void SetUp() override {
        void* library = dlopen(CCapiInterface::kLibraryFile, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            GTEST_SKIP() << "libcapi20.so.3 is not installed (Debian package libcapi20-3)";
        }
        dlclose(library);
        const std::string setting = "rcapi:127.0.0.1:" + std::to_string(Server().Port());
        setenv(CRemoteCapiSetting::kVariable, setting.c_str(), 1);
    }

    // One server for the process: the library keeps its connection settings
    // in process-wide state.
    static RcapiTestServer& Server() {
        static RcapiTestServer server([](RcapiTestServer& s, int connection, const Bytes& body) {
            Script()(s, connection, body);
        });
        return server;
    }

    static PbxScript& Script() {
        static PbxScript script;
        return script;
    }

    template <typename T>
    static T Locked(const std::function<T(PbxScript&)>& read) {
        std::lock_guard lock(Script().m_Lock);
        return read(Script());
    }

    static bool HasCall(const RecordingOperations& capi, const std::string& call) {
        const std::vector<std::string> calls = capi.Calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
};

TEST_F(RealLibrary, RegistersExchangesAMessageAndDataBothWaysAndReleases) {
    const int endedBefore = Server().EndedConnections();
    RecordingOperations capi;
    ASSERT_TRUE(capi.IsBound());
    // The library writes to its sockets without MSG_NOSIGNAL.
    struct sigaction pipeAction {};
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &pipeAction), 0);
    EXPECT_EQ(pipeAction.sa_handler, SIG_IGN);
    ASSERT_EQ(capi.StartCapi(), 0) << std::hex << capi.m_dwLastResult.load();
    EXPECT_NE(capi.m_dwApplID.load(), 0u);

    const uint16_t connect = capi.ConnectReq("0123", "12", kCallingSubaddress, kBProtocol);
    ASSERT_NE(connect, 0) << std::hex << capi.m_dwLastResult.load();
    ASSERT_TRUE(WaitUntil([&] {
        return HasCall(capi, "ConnectConf n=" + std::to_string(connect) + " a=00000101 info=0000");
    })) << testing::PrintToString(capi.Calls());
    EXPECT_EQ(Locked<Bytes>([](PbxScript& s) { return s.connectReqs.at(0); }).size(), 45u);

    const uint16_t data = capi.DataB3Req(kNcci, kPing, sizeof kPing);
    ASSERT_NE(data, 0) << std::hex << capi.m_dwLastResult.load();
    char handle[5];
    std::snprintf(handle, sizeof handle, "%04x", data);
    ASSERT_TRUE(WaitUntil([&] {
        return HasCall(capi, "DataB3Conf n=" + std::to_string(data) +
                                 " a=00010101 handle=" + handle + " info=0000");
    })) << testing::PrintToString(capi.Calls());
    EXPECT_EQ(Locked<Bytes>([](PbxScript& s) { return s.received; }), Bytes(kPing, kPing + 4));

    // The library passes the indication's data through Data64 and maps its own
    // handle back to the server's in our DATA_B3_RESP.
    ASSERT_TRUE(WaitUntil([&] { return capi.Calls().size() >= 3; }));
    ASSERT_TRUE(WaitUntil([&] {
        return !Locked<std::vector<uint16_t>>([](PbxScript& s) {
                    return s.dataRespHandles;
                }).empty();
    })) << testing::PrintToString(capi.Calls());
    EXPECT_EQ(Locked<std::vector<uint16_t>>([](PbxScript& s) { return s.dataRespHandles; }),
              std::vector<uint16_t>{kServerHandle});
    const std::vector<std::string> calls = capi.Calls();
    ASSERT_EQ(calls.size(), 3u) << testing::PrintToString(calls);
    EXPECT_EQ(calls[2].rfind("DataB3Ind n=119 a=00010101 data=[70 6f 6e 67] handle=", 0), 0u)
        << calls[2];

    EXPECT_EQ(capi.StopCapi(), 0);
    EXPECT_FALSE(capi.ReceiveThreadRunning());
    EXPECT_EQ(capi.m_dwApplID.load(), 0u);
    // Release closes the application's connection.
    EXPECT_TRUE(WaitUntil([&] { return Server().EndedConnections() > endedBefore; }));
}

TEST_F(RealLibrary, ServerGoingAwayEndsTheReceiveLoopOnce) {
    const int registeredBefore = Server().RegisteredConnections();
    RecordingOperations capi;
    ASSERT_EQ(capi.StartCapi(), 0) << std::hex << capi.m_dwLastResult.load();
    ASSERT_TRUE(WaitUntil([&] { return Server().RegisteredConnections() > registeredBefore; }));

    Server().CloseApplicationConnection();
    ASSERT_TRUE(WaitUntil([&] { return !capi.ReceiveThreadRunning(); }));
    EXPECT_EQ(capi.connectionLost.load(), 1);
    EXPECT_FALSE(capi.m_bRegistered.load());
    // The application is released: senders fail at once.
    EXPECT_EQ(capi.ConnectB3Req(kPlci), 0);
    EXPECT_EQ(capi.m_dwLastResult.load(), Info::NotInstalled);
}

}  // namespace
}  // namespace capi::test
