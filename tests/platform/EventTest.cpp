#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "platform/Event.h"

namespace {

using platform::CEvent;
using platform::WaitResult;

TEST(Event, AutoResetReleasesOneWaitAndResets) {
    CEvent event(false, true);
    EXPECT_EQ(event.Wait(0), WaitResult::Signalled);
    EXPECT_EQ(event.Wait(0), WaitResult::Timeout);
}

TEST(Event, ManualResetStaysSetUntilReset) {
    CEvent event(true, false);
    event.Set();
    EXPECT_EQ(event.Wait(0), WaitResult::Signalled);
    EXPECT_EQ(event.Wait(0), WaitResult::Signalled);
    event.Reset();
    EXPECT_EQ(event.Wait(10), WaitResult::Timeout);
}

TEST(Event, WaitForFirstReportsTheEventThatCameFirstAndConsumesOnlyIt) {
    CEvent data;
    CEvent stop;
    stop.Set();
    EXPECT_EQ(platform::WaitForFirst({&data, &stop}, 0), 1);
    data.Set();
    stop.Set();
    // Both set: the earlier in the list wins; the other stays set.
    EXPECT_EQ(platform::WaitForFirst({&data, &stop}, 0), 0);
    EXPECT_TRUE(stop.IsSet());
    EXPECT_EQ(platform::WaitForFirst({&data, &stop}, 0), 1);
    EXPECT_EQ(platform::WaitForFirst({&data, &stop}, 10), -1);
}

TEST(Event, SetFromAnotherThreadEndsAnInfiniteWait) {
    CEvent event;
    auto waiter = std::async(std::launch::async, [&] { return event.Wait(platform::INFINITE); });
    event.Set();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), WaitResult::Signalled);
}

}  // namespace
