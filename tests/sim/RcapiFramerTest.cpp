#include <gtest/gtest.h>

#include "sim/RcapiFramer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Result = sim::CRcapiFramer::Result;

TEST(RcapiFramer, SplitsAStreamIntoBodiesWhateverThePieces) {
    struct Case {
        const char* name;
        std::vector<Bytes> pieces;
        std::vector<Bytes> bodies;
        Result last;
    };
    const Case cases[] = {
        {"one frame in one piece", {{0, 5, 1, 2, 3}}, {{1, 2, 3}}, Result::NeedMore},
        {"frame split inside its length", {{0}, {4, 9, 8}}, {{9, 8}}, Result::NeedMore},
        {"two frames in one piece", {{0, 3, 7, 0, 4, 8, 9}}, {{7}, {8, 9}}, Result::NeedMore},
        {"empty body", {{0, 2}}, {{}}, Result::NeedMore},
        {"incomplete body waits", {{0, 9, 1, 2}}, {}, Result::NeedMore},
        {"length below two is broken", {{0, 1, 5}}, {}, Result::Broken},
        {"zero length is broken", {{0, 3, 1, 0, 0}}, {{1}}, Result::Broken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CRcapiFramer framer;
        std::vector<Bytes> got;
        Result result = Result::NeedMore;
        for (const auto& piece : c.pieces) {
            framer.Feed(piece);
            Bytes body;
            while ((result = framer.Next(body)) == Result::Frame) got.push_back(body);
            if (result == Result::Broken) break;
        }
        EXPECT_EQ(got, c.bodies);
        EXPECT_EQ(result, c.last);
    }
}

TEST(RcapiFramer, EncodesWithBigEndianLengthAndRefusesOversizedFrames) {
    EXPECT_EQ(sim::CRcapiFramer::Encode(Bytes{0xAA, 0xBB}), (Bytes{0, 4, 0xAA, 0xBB}));
    EXPECT_TRUE(sim::CRcapiFramer::Encode(Bytes(4094, 1)));
    EXPECT_FALSE(sim::CRcapiFramer::Encode(Bytes(4095, 1)));
}

}  // namespace
