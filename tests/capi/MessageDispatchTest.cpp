// What each received message makes the dispatcher do: which handler, with
// which arguments, and which answer goes out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capi/CapiOperations.h"
#include "tests/capi/HexBytes.h"
#include "tests/capi/RecordingOperations.h"
#include "tests/support/FakeCapiLibrary.h"

namespace capi::test {
namespace {

using testsupport::FakeCapiLibrary;

const uint8_t kLibraryData[] = {0x10, 0x20, 0x30, 0x40};

// A long-form DATA_B3_IND as the library hands it over: Data64 points into a
// buffer of its own.
Bytes LongDataB3Ind(const uint8_t* data) {
    Bytes message = FromHex("1e 00 42 00 86 82 09 00 01 02 01 00 00 00 00 00 04 00 07 00 01 00");
    uint64_t pointer = reinterpret_cast<uintptr_t>(data);
    for (int i = 0; i < 8; ++i) message.push_back(static_cast<uint8_t>(pointer >> (8 * i)));
    return message;
}

struct DispatchCase {
    const char* name;
    Bytes message;  // exactly the bytes that may be read
    std::vector<std::string> calls;
    std::vector<std::string> answers;  // messages put, in order
};

std::vector<DispatchCase> Cases() {
    return {
        // The ten confirmations.
        {"AlertConf",
         FromHex("0e 00 42 00 01 81 03 00 01 01 00 00 00 00"),
         {"AlertConf n=3 a=00000101 info=0000"},
         {}},
        {"ConnectConf",
         FromHex("0e 00 42 00 02 81 03 00 01 01 00 00 03 20"),
         {"ConnectConf n=3 a=00000101 info=2003"},
         {}},
        {"ConnectB3Conf",
         FromHex("0e 00 42 00 82 81 04 00 01 02 01 00 00 00"),
         {"ConnectB3Conf n=4 a=00010201 info=0000"},
         {}},
        {"DataB3Conf",
         FromHex("10 00 42 00 86 81 05 00 01 02 01 00 05 00 01 11"),
         {"DataB3Conf n=5 a=00010201 handle=0005 info=1101"},
         {}},
        {"DisconnectB3Conf",
         FromHex("0e 00 42 00 84 81 06 00 01 02 01 00 00 00"),
         {"DisconnectB3Conf n=6 a=00010201 info=0000"},
         {}},
        {"DisconnectConf",
         FromHex("0e 00 42 00 04 81 07 00 01 01 00 00 00 00"),
         {"DisconnectConf n=7 a=00000101 info=0000"},
         {}},
        {"InfoConf",
         FromHex("0e 00 42 00 08 81 08 00 01 01 00 00 00 00"),
         {"InfoConf n=8 a=00000101 info=0000"},
         {}},
        {"ListenConf",
         FromHex("0e 00 42 00 05 81 09 00 01 00 00 00 00 00"),
         {"ListenConf n=9 a=00000001 info=0000"},
         {}},
        {"ResetB3Conf",
         FromHex("0e 00 42 00 87 81 0a 00 01 02 01 00 00 00"),
         {"ResetB3Conf n=10 a=00010201 info=0000"},
         {}},
        {"SelectBProtocolConf",
         FromHex("0e 00 42 00 41 81 0b 00 01 01 00 00 00 00"),
         {"SelectBProtocolConf n=11 a=00000101 info=0000"},
         {}},
        // Indications and the base answers.
        {"ConnectIndIsIgnoredAtOnce",
         FromHex("14 00 42 00 02 82 09 00 01 01 00 00 02 00 02 80 31 00 00 00"),
         {},
         {"19 00 42 00 02 83 09 00 01 01 00 00 01 00 00 00 00 06 02 00 00 00 00 00 00"}},
        {"ConnectActiveIndDecodesNumberAndSubaddress",
         FromHex("16 00 42 00 03 82 04 00 01 01 00 00 04 00 80 31 32 03 80 31 32 00"),
         {"ConnectActiveInd n=4 a=00000101 number=12 sub=12"},
         {"0c 00 42 00 03 83 04 00 01 01 00 00", "0d 00 42 00 04 80 02 00 01 01 00 00 00"}},
        {"ConnectActiveIndNumberOfAnotherType",
         FromHex("16 00 42 00 03 82 04 00 01 01 00 00 04 81 80 31 32 03 80 31 32 00"),
         {"ConnectActiveInd n=4 a=00000101 number=(null) sub=12"},
         {"0c 00 42 00 03 83 04 00 01 01 00 00", "0d 00 42 00 04 80 02 00 01 01 00 00 00"}},
        {"ConnectActiveIndNumberTooShort",
         FromHex("13 00 42 00 03 82 04 00 01 01 00 00 02 00 80 02 80 31 00"),
         {"ConnectActiveInd n=4 a=00000101 number=(null) sub=1"},
         {"0c 00 42 00 03 83 04 00 01 01 00 00", "0d 00 42 00 04 80 02 00 01 01 00 00 00"}},
        {"ConnectActiveIndSubaddressOfAnotherType",
         FromHex("15 00 42 00 03 82 04 00 01 01 00 00 03 00 80 35 03 a0 31 32 00"),
         {"ConnectActiveInd n=4 a=00000101 number=5 sub=(null)"},
         {"0c 00 42 00 03 83 04 00 01 01 00 00", "0d 00 42 00 04 80 02 00 01 01 00 00 00"}},
        {"ConnectActiveIndEmptyStructures",
         FromHex("0f 00 42 00 03 82 04 00 01 01 00 00 00 00 00"),
         {"ConnectActiveInd n=4 a=00000101 number=(null) sub=(null)"},
         {"0c 00 42 00 03 83 04 00 01 01 00 00", "0d 00 42 00 04 80 02 00 01 01 00 00 00"}},
        {"DisconnectInd",
         FromHex("0e 00 42 00 04 82 0c 00 01 01 cd ab 90 34"),
         {"DisconnectInd n=12 a=abcd0101 reason=3490"},
         {"0c 00 42 00 04 83 02 00 01 01 00 00"}},
        {"InfoInd",
         FromHex("12 00 42 00 08 82 0d 00 01 01 00 00 18 00 03 01 02 03"),
         {"InfoInd n=13 a=00000101 info=0018 element=03 01 02 03"},
         {"0c 00 42 00 08 83 02 00 01 01 00 00"}},
        {"InfoIndWithEscapedLength",
         FromHex("14 00 42 00 08 82 0d 00 01 01 00 00 18 00 ff 03 00 01 02 03"),
         {"InfoInd n=13 a=00000101 info=0018 element=ff 03 00 01 02 03"},
         {"0c 00 42 00 08 83 02 00 01 01 00 00"}},
        {"ConnectB3Ind",
         FromHex("0d 00 42 00 82 82 0e 00 01 02 01 00 00"),
         {"ConnectB3Ind n=14 a=00010201"},
         {"0f 00 42 00 82 83 02 00 01 02 01 00 00 00 00"}},
        {"ConnectB3ActiveInd",
         FromHex("0d 00 42 00 83 82 0f 00 01 02 01 00 00"),
         {"ConnectB3ActiveInd n=15 a=00010201"},
         {"0c 00 42 00 83 83 02 00 01 02 01 00"}},
        {"DataB3IndLongFormFromData64",
         LongDataB3Ind(kLibraryData),
         {"DataB3Ind n=9 a=00010201 data=[10 20 30 40] handle=0007 flags=0001"},
         {"0e 00 42 00 86 83 02 00 01 02 01 00 07 00"}},
        {"DataB3IndShortFormWithDataAfterIt",
         FromHex("16 00 42 00 86 82 09 00 01 02 01 00 00 00 00 00 03 00 33 00 00 00 61 62 63"),
         {"DataB3Ind n=9 a=00010201 data=[61 62 63] handle=0033 flags=0000"},
         {"0e 00 42 00 86 83 02 00 01 02 01 00 33 00"}},
        // Kinds that need no handler and no answer.
        {"DisconnectB3IndIgnored", FromHex("0f 00 42 00 84 82 10 00 01 02 01 00 00 00 00"), {}, {}},
        {"ResetB3IndIgnored", FromHex("0d 00 42 00 87 82 10 00 01 02 01 00 00"), {}, {}},
        {"FacilityIndIgnored", FromHex("0f 00 42 00 80 82 10 00 01 01 00 00 01 00 00"), {}, {}},
        {"FacilityConfIgnored", FromHex("10 00 42 00 80 81 10 00 01 01 00 00 00 00 01 00"), {}, {}},
        {"T90ActiveIndIgnored", FromHex("0d 00 42 00 88 82 10 00 01 02 01 00 00"), {}, {}},
        {"ManufacturerIndIgnored", FromHex("0e 00 42 00 ff 82 10 00 01 00 00 00 00 00"), {}, {}},
        {"RequestIgnored", FromHex("0d 00 42 00 04 80 10 00 01 01 00 00 00"), {}, {}},
        // Truncated and malformed messages are dropped.
        {"EmptyBuffer", {}, {}, {}},
        {"OneByte", FromHex("0e"), {}, {}},
        {"LengthBelowHeader", FromHex("07 00 42 00 02 81 03"), {}, {}},
        {"LengthBeyondBuffer", FromHex("0e 00 42 00 02 81 03 00 01 01 00 00 00"), {}, {}},
        {"ConfWithoutInfo", FromHex("0c 00 42 00 02 81 03 00 01 01 00 00 00 00"), {}, {}},
        {"DataB3ConfWithoutInfo",
         FromHex("0e 00 42 00 86 81 05 00 01 02 01 00 05 00 00 00"),
         {},
         {}},
        {"ConnectIndWithoutPlci", FromHex("0b 00 42 00 02 82 09 00 01 01 00"), {}, {}},
        {"DisconnectIndWithoutReason", FromHex("0d 00 42 00 04 82 0c 00 01 01 00 00 90"), {}, {}},
        {"InfoIndWithoutElement", FromHex("0e 00 42 00 08 82 0d 00 01 01 00 00 18 00"), {}, {}},
        {"InfoIndElementPastTheEnd",
         FromHex("11 00 42 00 08 82 0d 00 01 01 00 00 18 00 05 01 02 03 04 05"),
         {},
         {}},
        {"InfoIndEscapedLengthCut",
         FromHex("10 00 42 00 08 82 0d 00 01 01 00 00 18 00 ff 03"),
         {},
         {}},
        {"ConnectActiveIndNumberPastTheEnd",
         FromHex("10 00 42 00 03 82 04 00 01 01 00 00 09 00 80 31 32 33"),
         {},
         {}},
        {"ConnectActiveIndWithoutSubaddress",
         FromHex("11 00 42 00 03 82 04 00 01 01 00 00 04 00 80 31 32"),
         {},
         {}},
        {"ConnectB3IndWithoutNcci", FromHex("0b 00 42 00 82 82 0e 00 01 02 01"), {}, {}},
        {"DataB3IndShorterThanItsParameters",
         FromHex("15 00 42 00 86 82 09 00 01 02 01 00 00 00 00 00 03 00 33 00 00"),
         {},
         {}},
        {"DataB3IndDataPastTheBuffer",
         FromHex("16 00 42 00 86 82 09 00 01 02 01 00 00 00 00 00 05 00 33 00 00 00 61 62 63"),
         {},
         {}},
    };
}

class MessageDispatch : public testing::TestWithParam<DispatchCase> {};

TEST_P(MessageDispatch, CallsTheHandlerAndAnswers) {
    const DispatchCase& test = GetParam();
    FakeCapiLibrary fake;
    const CapiEntryPoints table = fake.Table();
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.CapiRegister(), 0u);
    // A buffer of exactly the message's size, so that a read past it is caught
    // by the address sanitizer.
    std::vector<uint8_t> buffer(test.message);
    capi.DispatchCapiMessage(buffer.empty() ? nullptr : buffer.data(), buffer.size());

    EXPECT_EQ(capi.Calls(), test.calls);
    std::vector<std::string> answers;
    for (const Bytes& put : fake.State().puts) answers.push_back(ToHex(put));
    EXPECT_EQ(answers, test.answers);
}

INSTANTIATE_TEST_SUITE_P(Received, MessageDispatch, testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

// Messages straight from the library's buffer: its length is taken from the
// header, and the data of a long-form DATA_B3_IND from Data64.
TEST(MessageDispatchFromLibrary, LongFormDataB3IndUsesData64) {
    FakeCapiLibrary fake;
    const CapiEntryPoints table = fake.Table();
    RecordingOperations capi(&table);
    ASSERT_EQ(capi.CapiRegister(), 0u);
    const Bytes message = LongDataB3Ind(kLibraryData);
    capi.DispatchCapiMessage(message.data());
    EXPECT_EQ(capi.Calls(),
              std::vector<std::string>{
                  "DataB3Ind n=9 a=00010201 data=[10 20 30 40] handle=0007 flags=0001"});
}

}  // namespace
}  // namespace capi::test
