#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "isdn/DataB3ReqList.h"

namespace {

isdn::Block OneByte() {
    return isdn::Block(new uint8_t[1]{0});
}

struct ListCase {
    const char* name;
    std::vector<uint16_t> appended;
    uint16_t removed;
    bool found;
    size_t left;
};

TEST(DataB3ReqList, FindAndRemoveTakesTheFirstMatchOnly) {
    const ListCase cases[] = {
        {"empty list", {}, 5, false, 0},
        {"only record", {5}, 5, true, 0},
        {"not there", {4, 6}, 5, false, 2},
        {"middle record", {4, 5, 6}, 5, true, 2},
        {"one of two with the same number", {5, 5}, 5, true, 1},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        isdn::CDataB3ReqList list;
        for (const uint16_t number : c.appended) list.Append(number, OneByte());
        EXPECT_EQ(list.FindAndRemove(c.removed), c.found);
        EXPECT_EQ(list.Count(), c.left);
    }
}

TEST(DataB3ReqList, ClearReleasesEveryRecord) {
    isdn::CDataB3ReqList list;
    for (uint16_t n = 1; n <= 10; ++n) list.Append(n, OneByte());
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(list.FindAndRemove(1));
}

// The sender thread appends while the receive thread removes.
TEST(DataB3ReqList, AppendAndRemoveFromTwoThreads) {
    constexpr uint16_t kRecords = 5000;
    isdn::CDataB3ReqList list;
    std::thread sender([&] {
        for (uint16_t n = 1; n <= kRecords; ++n) list.Append(n, OneByte());
    });
    uint16_t next = 1;
    while (next <= kRecords) {
        if (list.FindAndRemove(next)) {
            ++next;
        } else {
            std::this_thread::yield();
        }
    }
    sender.join();
    EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
