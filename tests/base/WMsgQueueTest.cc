// The bounded message queue: order across wraps, its bound, waiting consumers woken by a push
// or by Close, and what Close leaves to drain.
#include "base/WMsgQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using KESTREL::QueueWait;

TEST(WMsgQueue, KeepsOrderAcrossWrapsAndRefusesPastItsBound) {
    KESTREL::WMsgQueue<int> queue(3);
    std::vector<int> items(100);
    int* out = nullptr;
    for (int i = 0; i < 99; i += 3) {
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(queue.Push(&items[i + k]));
        }
        EXPECT_FALSE(queue.Push(&items[99]));
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(QueueWait::kItem, queue.Pop(&out, 0));
            ASSERT_EQ(&items[i + k], out);
        }
    }
    EXPECT_EQ(QueueWait::kTimeout, queue.Pop(&out, 1));
}

TEST(WMsgQueue, PushWakesAWaitingConsumer) {
    KESTREL::WMsgQueue<int> queue(4);
    int item = 5;
    int* out = nullptr;
    std::thread consumer([&]() { ASSERT_EQ(QueueWait::kItem, queue.Pop(&out, 60000)); });
    ASSERT_TRUE(queue.Push(&item));
    consumer.join();
    EXPECT_EQ(&item, out);
}

TEST(WMsgQueue, CloseWakesAWaitingConsumerRefusesPushesAndLeavesTheRestToDrain) {
    KESTREL::WMsgQueue<int> queue(4);
    QueueWait seen = QueueWait::kItem;
    std::thread consumer([&]() {
        int* out = nullptr;
        seen = queue.Pop(&out, 60000);
    });
    queue.Close();
    consumer.join();
    EXPECT_EQ(QueueWait::kClosed, seen);
    int item = 0;
    EXPECT_FALSE(queue.Push(&item));

    KESTREL::WMsgQueue<int> left(4);
    int a = 1, b = 2;
    left.Push(&a);
    left.Push(&b);
    left.Close();
    std::vector<int*> drained;
    left.Drain([&](int* unit) { drained.push_back(unit); });
    EXPECT_EQ((std::vector<int*>{&a, &b}), drained);
    EXPECT_EQ(0u, left.Count());
}

}  // namespace
