#include "base/WElementAllocator.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Item {
    int value = 0;
};

TEST(WElementAllocator, GrowsByBlocks) {
    KESTREL::WElementAllocator<Item> pool(4);
    std::vector<Item*> taken;
    for (int i = 0; i < 5; ++i) {
        taken.push_back(pool.Alloc());
        ASSERT_NE(nullptr, taken.back());
    }
    EXPECT_EQ(8u, pool.TotalCount());
}

TEST(WElementAllocator, ReusesInTheOrderFreed) {
    KESTREL::WElementAllocator<Item> pool(3);
    Item* a = pool.Alloc();
    Item* b = pool.Alloc();
    Item* c = pool.Alloc();
    pool.Free(b);
    pool.Free(c);
    pool.Free(a);
    EXPECT_EQ(b, pool.Alloc());
    EXPECT_EQ(c, pool.Alloc());
    EXPECT_EQ(a, pool.Alloc());
    EXPECT_EQ(3u, pool.TotalCount());
}

TEST(WElementAllocator, FreedElementGoesBehindTheFreshOnes) {
    KESTREL::WElementAllocator<Item> pool(2);
    Item* first = pool.Alloc();
    pool.Free(first);
    Item* fresh = pool.Alloc();
    EXPECT_NE(first, fresh);
    EXPECT_EQ(first, pool.Alloc());
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
