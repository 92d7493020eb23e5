#include "base/WMsgQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using KESTREL::QueueWait;

TEST(WMsgQueue, RefusesPastTheBoundAndAcceptsAfterOnePop) {
    KESTREL::WMsgQueue<int> queue(1000);
    std::vector<int> items(1001);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(queue.Push(&items[i]));
    }
    EXPECT_FALSE(queue.Push(&items[1000]));
    int* out = nullptr;
    ASSERT_EQ(QueueWait::kItem, queue.Pop(&out, 0));
    EXPECT_EQ(&items[0], out);
    EXPECT_TRUE(queue.Push(&items[1000]));
}

TEST(WMsgQueue, KeepsOrderAcrossManyWraps) {
    KESTREL::WMsgQueue<int> queue(3);
    std::vector<int> items(100);
    int next = 0;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(queue.Push(&items[i]));
        if (i % 3 == 2) {
            for (int k = 0; k < 3; ++k) {
                int* out = nullptr;
                ASSERT_EQ(QueueWait::kItem, queue.Pop(&out, 0));
                ASSERT_EQ(&items[next++], out);
            }
        }
    }
}

TEST(WMsgQueue, EmptyPopTimesOut) {
    KESTREL::WMsgQueue<int> queue(4);
    int* out = nullptr;
    EXPECT_EQ(QueueWait::kTimeout, queue.Pop(&out, 1));
}

TEST(WMsgQueue, CloseWakesAWaitingConsumerAndRefusesPushes) {
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

TEST(WMsgQueue, DrainHandsBackWhatWasLeft) {
    KESTREL::WMsgQueue<int> queue(4);
    int a = 1, b = 2;
    queue.Push(&a);
    queue.Push(&b);
    queue.Close();
    std::vector<int*> drained;
    queue.Drain([&](int* item) { drained.push_back(item); });
    EXPECT_EQ((std::vector<int*>{&a, &b}), drained);
    EXPECT_EQ(0u, queue.Count());
}

}  // namespace
