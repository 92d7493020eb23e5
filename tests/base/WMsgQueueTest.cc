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

TEST(WMsgQueue, PushOrCloseWakesAWaitingConsumerAndCloseLeavesTheRestToDrain) {
    KESTREL::WMsgQueue<int> queue(4);
    int a = 1, b = 2;
    int* out = nullptr;
    QueueWait seen = QueueWait::kTimeout;
    std::thread pushed([&]() { seen = queue.Pop(&out, 60000); });
    ASSERT_TRUE(queue.Push(&a));
    pushed.join();
    EXPECT_TRUE(seen == QueueWait::kItem && out == &a);
    std::thread closed([&]() { seen = queue.Pop(&out, 60000); });
    queue.Close();
    closed.join();
    EXPECT_EQ(QueueWait::kClosed, seen);
    EXPECT_FALSE(queue.Push(&a));

    KESTREL::WMsgQueue<int> left(4);
    left.Push(&a);
    left.Push(&b);
    left.Close();
    std::vector<int*> drained;
    left.Drain([&](int* unit) { drained.push_back(unit); });
    EXPECT_EQ((std::vector<int*>{&a, &b}), drained);
    EXPECT_EQ(QueueWait::kClosed, left.Pop(&out, 0));  // nothing left
}

}  // namespace
