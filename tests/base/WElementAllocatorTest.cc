// The element pool: whole blocks, freed elements handed out again behind the fresh ones and in
// the order freed, and each element to one user at a time across threads.
#include "base/WElementAllocator.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct Item {
    int value = 0;
};

TEST(WElementAllocator, GrowsByBlocksAndReusesFreedElementsBehindTheFreshOnesInOrder) {
    KESTREL::WElementAllocator<Item> pool(3);
    Item* a = pool.Alloc();
    Item* b = pool.Alloc();
    pool.Free(b);
    pool.Free(a);
    Item* fresh = pool.Alloc();
    EXPECT_TRUE(fresh != a && fresh != b);
    EXPECT_EQ(b, pool.Alloc());
    EXPECT_EQ(a, pool.Alloc());
    EXPECT_NE(nullptr, pool.Alloc());  // a new block
}

TEST(WElementAllocator, ConcurrentUseHandsOutEachElementOnce) {
    KESTREL::WElementAllocator<Item> pool(16);
    auto worker = [&pool](int id) {
        for (int round = 0; round < 2000; ++round) {
            Item* item = pool.Alloc();
            ASSERT_NE(nullptr, item);
            item->value = id;
            std::this_thread::yield();
            EXPECT_EQ(id, item->value);
            pool.Free(item);
        }
    };
    std::thread one(worker, 1);
    std::thread two(worker, 2);
    one.join();
    two.join();
}

}  // namespace
