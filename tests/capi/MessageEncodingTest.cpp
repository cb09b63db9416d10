// Every message the senders put, byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/CapiOperations.h"
#include "tests/capi/HexBytes.h"
#include "tests/support/FakeCapiLibrary.h"

namespace capi::test {
namespace {

using testsupport::FakeCapiLibrary;

const uint8_t kBProtocol[] = {0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kCallingSubaddress[] = {0x04, 0xA0, 0xD4, 0x00, 0x00};
const uint8_t kBlock[] = {0x61, 0x62, 0x63};

const std::vector<uint8_t>& FullBlock() {
    static const std::vector<uint8_t> block(kMaxBDataLength, 0x5A);
    return block;
}

void DrawNumbers(CCapiOperations& capi, int count) {
    for (int i = 0; i < count; ++i) capi.NextMessageNumber();
}

std::string Digits(size_t count) {
    return std::string(count, '7');
}

struct EncodeCase {
    const char* name;
    std::function<void(CCapiOperations&)> before;  // may be null
    std::function<uint16_t(CCapiOperations&)> send;
    uint16_t returned;  // message number, or 0
    uint32_t lastResult;
    const char* bytes;          // the last message put; nullptr: nothing put
    std::vector<uint8_t> data;  // DATA_B3_REQ: the data the library reads
};

std::vector<EncodeCase> Cases() {
    return {
        {"ConnectReqFullExample",
         nullptr,
         [](CCapiOperations& c) {
             return c.ConnectReq("0123", "12", kCallingSubaddress, kBProtocol);
         },
         2,
         0,
         "2d 00 42 00 02 80 02 00 01 00 00 00 02 00 05 80 30 31 32 33 04 00 80 31 32 00"
         " 04 a0 d4 00 00 09 00 00 00 00 00 00 00 00 00 00 00 00 00",
         {}},
        {"ConnectReqEmptyOwnNumber",
         nullptr,
         [](CCapiOperations& c) {
             return c.ConnectReq("0123", "", kCallingSubaddress, kBProtocol);
         },
         2,
         0,
         "29 00 42 00 02 80 02 00 01 00 00 00 02 00 05 80 30 31 32 33 00 00"
         " 04 a0 d4 00 00 09 00 00 00 00 00 00 00 00 00 00 00 00 00",
         {}},
        {"ConnectReqNullsGiveEmptyStructures",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectReq(nullptr, nullptr, nullptr, nullptr); },
         2,
         0,
         "17 00 42 00 02 80 02 00 01 00 00 00 02 00 00 00 00 00 00 00 00 00 00",
         {}},
        {"ConnectReqDigitsModulo64",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectReq("A*#9", nullptr, nullptr, nullptr); },
         2,
         0,
         "1c 00 42 00 02 80 02 00 01 00 00 00 02 00 05 80 01 2a 23 39 00 00 00 00 00 00 00 00",
         {}},
        {"ConnectReqFillingTheMessageExactly",
         nullptr,
         [](CCapiOperations& c) {
             return c.ConnectReq(Digits(170).c_str(), "123", kCallingSubaddress, kBProtocol);
         },
         2,
         0,
         nullptr,
         {}},
        {"ConnectReqTooLongForTheMessageIsRefused",
         nullptr,
         [](CCapiOperations& c) {
             return c.ConnectReq(Digits(171).c_str(), "123", kCallingSubaddress, kBProtocol);
         },
         0,
         Info::IllegalMessageParameterCoding,
         nullptr,
         {}},
        {"ConnectReqNumberTooLongForItsStructureIsRefused",
         nullptr,
         [](CCapiOperations& c) {
             return c.ConnectReq(Digits(300).c_str(), nullptr, nullptr, nullptr);
         },
         0,
         Info::IllegalMessageParameterCoding,
         nullptr,
         {}},
        {"RefusedConnectReqUsesNoNumber",
         [](CCapiOperations& c) { c.ConnectReq(Digits(400).c_str(), nullptr, nullptr, nullptr); },
         [](CCapiOperations& c) { return c.DisconnectReq(0x00000101); },
         2,
         0,
         "0d 00 42 00 04 80 02 00 01 01 00 00 00",
         {}},
        {"ConnectB3Req",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectB3Req(0x00010201); },
         2,
         0,
         "0d 00 42 00 82 80 02 00 01 02 01 00 00",
         {}},
        {"DisconnectB3Req",
         nullptr,
         [](CCapiOperations& c) { return c.DisconnectB3Req(0x00010201); },
         2,
         0,
         "0d 00 42 00 84 80 02 00 01 02 01 00 00",
         {}},
        {"DisconnectReqKeepsTheFullAddress",
         nullptr,
         [](CCapiOperations& c) { return c.DisconnectReq(0x12345678); },
         2,
         0,
         "0d 00 42 00 04 80 02 00 78 56 34 12 00",
         {}},
        {"DataB3ReqLongFormWithHandleAndData64",
         nullptr,
         [](CCapiOperations& c) { return c.DataB3Req(0x00010201, kBlock, sizeof kBlock); },
         2,
         0,
         "1e 00 42 00 86 80 02 00 01 02 01 00 00 00 00 00 03 00 02 00 00 00"
         " ?? ?? ?? ?? ?? ?? ?? ??",
         {0x61, 0x62, 0x63}},
        {"DataB3ReqOfTheLargestBlock", nullptr,
         [](CCapiOperations& c) {
             return c.DataB3Req(0x00010201, FullBlock().data(), kMaxBDataLength);
         },
         2, 0,
         "1e 00 42 00 86 80 02 00 01 02 01 00 00 00 00 00 00 08 02 00 00 00"
         " ?? ?? ?? ?? ?? ?? ?? ??",
         FullBlock()},
        {"DataB3ReqAboveTheRegisteredLengthIsRefused",
         nullptr,
         [](CCapiOperations& c) {
             return c.DataB3Req(0x00010201, FullBlock().data(), kMaxBDataLength + 1);
         },
         0,
         Info::IllegalMessageParameterCoding,
         nullptr,
         {}},
        {"DataB3ReqWithoutDataIsRefused",
         nullptr,
         [](CCapiOperations& c) { return c.DataB3Req(0x00010201, nullptr, 5); },
         0,
         Info::IllegalMessageParameterCoding,
         nullptr,
         {}},
        {"ConnectRespRejectsWithTheIndicationsNumber",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectResp(0x1234, 0xABCD0101); },
         0x1234,
         0,
         "19 00 42 00 02 83 34 12 01 01 00 00 01 00 00 00 00 06 02 00 00 00 00 00 00",
         {}},
        {"ConnectActiveRespUsesTheIndicationsNumber",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectActiveResp(7, 0xABCD0101); },
         7,
         0,
         "0c 00 42 00 03 83 07 00 01 01 00 00",
         {}},
        {"ResponsesWithTheIndicationsNumberLeaveTheCounter",
         [](CCapiOperations& c) {
             c.ConnectActiveResp(0x1234, 0x101);
             c.ConnectResp(0x0999, 0x101);
         },
         [](CCapiOperations& c) { return c.ConnectB3Req(0x101); },
         2,
         0,
         "0d 00 42 00 82 80 02 00 01 01 00 00 00",
         {}},
        {"ConnectB3RespAccepts",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectB3Resp(0xABCD0101); },
         2,
         0,
         "0f 00 42 00 82 83 02 00 01 01 cd ab 00 00 00",
         {}},
        {"ConnectB3ActiveRespKeepsTheNcci",
         nullptr,
         [](CCapiOperations& c) { return c.ConnectB3ActiveResp(0xABCD0101); },
         2,
         0,
         "0c 00 42 00 83 83 02 00 01 01 cd ab",
         {}},
        {"DataB3RespCarriesTheHandle",
         nullptr,
         [](CCapiOperations& c) { return c.DataB3Resp(0x00010201, 0x0033); },
         2,
         0,
         "0e 00 42 00 86 83 02 00 01 02 01 00 33 00",
         {}},
        {"DisconnectRespClearsTheUpperWord",
         nullptr,
         [](CCapiOperations& c) { return c.DisconnectResp(0xABCD0101); },
         2,
         0,
         "0c 00 42 00 04 83 02 00 01 01 00 00",
         {}},
        {"InfoRespClearsTheUpperWord",
         nullptr,
         [](CCapiOperations& c) { return c.InfoResp(0xABCD0101); },
         2,
         0,
         "0c 00 42 00 08 83 02 00 01 01 00 00",
         {}},
        {"NumberRunsUpTo7FFF",
         [](CCapiOperations& c) { DrawNumbers(c, 0x7FFD); },
         [](CCapiOperations& c) { return c.InfoResp(0x101); },
         0x7FFF,
         0,
         "0c 00 42 00 08 83 ff 7f 01 01 00 00",
         {}},
        {"NumberWrapsTo1After7FFF",
         [](CCapiOperations& c) { DrawNumbers(c, 0x7FFE); },
         [](CCapiOperations& c) { return c.InfoResp(0x101); },
         1,
         0,
         "0c 00 42 00 08 83 01 00 01 01 00 00",
         {}},
        {"RefusedPutReturnsZeroWithTheLibrarysResult",
         [](CCapiOperations& c) { c.m_dwApplID = 0x43; },  // no longer the fake's ID
         [](CCapiOperations& c) { return c.InfoResp(0x101); },
         0,
         Info::IllegalApplicationId,
         nullptr,
         {}},
    };
}

class MessageEncoding : public testing::TestWithParam<EncodeCase> {};

TEST_P(MessageEncoding, PutsExactBytes) {
    const EncodeCase& test = GetParam();
    FakeCapiLibrary fake;
    const CapiEntryPoints table = fake.Table();
    CCapiOperations capi(&table);
    ASSERT_EQ(capi.CapiRegister(), 0u);
    if (test.before) test.before(capi);
    const size_t putsBefore = fake.State().puts.size();

    EXPECT_EQ(test.send(capi), test.returned);
    EXPECT_EQ(capi.m_dwLastResult.load(), test.lastResult);

    const FakeCapiLibrary::Snapshot state = fake.State();
    const bool expectPut = test.lastResult == 0;
    ASSERT_EQ(state.puts.size(), putsBefore + (expectPut ? 1u : 0u));
    if (test.bytes != nullptr) {
        EXPECT_TRUE(Matches(state.puts.back(), test.bytes)) << ToHex(state.puts.back());
    }
    if (!test.data.empty()) {
        ASSERT_FALSE(state.putData.empty());
        EXPECT_EQ(state.putData.back(), test.data);
    }
}

INSTANTIATE_TEST_SUITE_P(Senders, MessageEncoding, testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

// Without a registration, or without a library, nothing goes out.
TEST(MessageEncodingUnregistered, EverySenderFailsWithNotInstalled) {
    FakeCapiLibrary fake;
    const CapiEntryPoints table = fake.Table();
    CCapiOperations registeredThenReleased(&table);
    ASSERT_EQ(registeredThenReleased.CapiRegister(), 0u);
    registeredThenReleased.CapiRelease();
    CCapiOperations unbound(nullptr);

    const std::vector<std::function<uint16_t(CCapiOperations&)>> senders = {
        [](CCapiOperations& c) { return c.ConnectReq("1", "2", nullptr, nullptr); },
        [](CCapiOperations& c) { return c.ConnectB3Req(1); },
        [](CCapiOperations& c) { return c.DataB3Req(1, kBlock, 3); },
        [](CCapiOperations& c) { return c.DisconnectB3Req(1); },
        [](CCapiOperations& c) { return c.DisconnectReq(1); },
        [](CCapiOperations& c) { return c.ConnectResp(5, 1); },
        [](CCapiOperations& c) { return c.ConnectActiveResp(5, 1); },
        [](CCapiOperations& c) { return c.ConnectB3Resp(1); },
        [](CCapiOperations& c) { return c.ConnectB3ActiveResp(1); },
        [](CCapiOperations& c) { return c.DataB3Resp(1, 1); },
        [](CCapiOperations& c) { return c.DisconnectResp(1); },
        [](CCapiOperations& c) { return c.InfoResp(1); },
    };
    for (CCapiOperations* capi : {&registeredThenReleased, &unbound}) {
        for (size_t i = 0; i < senders.size(); ++i) {
            capi->m_dwLastResult = 0;
            EXPECT_EQ(senders[i](*capi), 0) << "sender " << i;
            EXPECT_EQ(capi->m_dwLastResult.load(), Info::NotInstalled) << "sender " << i;
        }
    }
    EXPECT_TRUE(fake.State().puts.empty());
}

// Senders run on several threads at once; each message number is drawn once.
TEST(MessageEncodingConcurrency, ThreadsNeverShareANumber) {
    FakeCapiLibrary fake;
    const CapiEntryPoints table = fake.Table();
    CCapiOperations capi(&table);
    ASSERT_EQ(capi.CapiRegister(), 0u);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::vector<uint16_t>> numbers(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                numbers[static_cast<size_t>(t)].push_back(capi.DataB3Req(1, kBlock, 3));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::vector<bool> seen(0x8000, false);
    for (const auto& list : numbers) {
        for (const uint16_t number : list) {
            ASSERT_GE(number, 1);
            ASSERT_LE(number, 0x7FFF);
            EXPECT_FALSE(seen[number]) << number;
            seen[number] = true;
        }
    }
    // Each DATA_B3_REQ carries its own number as its data handle.
    for (const Bytes& message : fake.State().puts) {
        EXPECT_EQ(message[6], message[18]);
        EXPECT_EQ(message[7], message[19]);
    }
}

}  // namespace
}  // namespace capi::test
