#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "isdn/BlockQueue.h"

namespace {

using isdn::Block;
using isdn::CBlockQueue;

Block MakeBlock(uint8_t tag, size_t size = 4) {
    Block block(new uint8_t[size]);
    block[0] = tag;
    return block;
}

TEST(BlockQueue, EntriesLeaveInOrderAndQueuedOnesDoNotWait) {
    CBlockQueue queue;
    queue.Put(3, MakeBlock(0xA1));
    queue.Put(7, MakeBlock(0xB2));

    Block first;
    Block second;
    EXPECT_EQ(queue.Get(platform::INFINITE, first), 3);
    // The second entry is taken without another Put: a zero time-out suffices.
    EXPECT_EQ(queue.Get(0, second), 7);
    EXPECT_EQ(first[0], 0xA1);
    EXPECT_EQ(second[0], 0xB2);
}

TEST(BlockQueue, EmptyOrNullEntriesAreIgnored) {
    CBlockQueue queue;
    queue.Put(0, MakeBlock(1));
    queue.Put(-5, MakeBlock(2));
    queue.Put(4, nullptr);
    Block block;
    EXPECT_EQ(queue.Get(20, block), -1);
    EXPECT_EQ(block, nullptr);
}

TEST(BlockQueue, TimeOutOnAnEmptyQueue) {
    CBlockQueue queue;
    Block block;
    EXPECT_EQ(queue.Get(30, block), -1);
    // A later Put is still delivered after a time-out.
    queue.Put(2, MakeBlock(9));
    EXPECT_EQ(queue.Get(0, block), 2);
}

TEST(BlockQueue, StopFromAnotherThreadReleasesTheConsumer) {
    CBlockQueue queue;
    auto consumer = std::async(std::launch::async, [&queue] {
        Block block;
        return queue.Get(platform::INFINITE, block);
    });
    // Whether the consumer is already waiting or not, it must see the stop.
    queue.Clear();
    ASSERT_EQ(consumer.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(consumer.get(), 0);
}

TEST(BlockQueue, DestructionReleasesAWaitingConsumer) {
    auto queue = std::make_unique<CBlockQueue>();
    std::atomic<bool> waiting{false};
    std::promise<int32_t> result;
    std::thread consumer([&] {
        Block block;
        waiting = true;
        result.set_value(queue->Get(platform::INFINITE, block));
    });
    while (!waiting) std::this_thread::yield();
    auto future = result.get_future();
    // The destructor clears the queue and grants the consumer its grace period.
    std::thread destroyer([&] { queue.reset(); });
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(future.get(), 0);
    consumer.join();
    destroyer.join();
}

TEST(BlockQueue, ClearDiscardsQueuedEntries) {
    CBlockQueue queue;
    queue.Put(1, MakeBlock(1));
    queue.Put(1, MakeBlock(2));
    queue.Clear();
    Block block;
    EXPECT_EQ(queue.Get(0, block), 0);
    EXPECT_EQ(block, nullptr);
}

TEST(BlockQueue, ProducersOnManyThreadsLoseNothing) {
    CBlockQueue queue;
    constexpr int kProducers = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (int i = 0; i < kEach; ++i) queue.Put(p + 1, MakeBlock(static_cast<uint8_t>(p)));
        });
    }
    int taken = 0;
    Block block;
    while (taken < kProducers * kEach && queue.Get(20000, block) > 0) ++taken;
    for (auto& producer : producers) producer.join();
    EXPECT_EQ(taken, kProducers * kEach);
    EXPECT_EQ(queue.Get(0, block), -1);
}

}  // namespace
