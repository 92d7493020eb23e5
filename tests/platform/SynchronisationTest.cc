#include <gtest/gtest.h>

#include <thread>

#include "platform/Event.h"
#include "platform/Semaphore.h"

namespace {

TEST(Semaphore, RespectsItsMaximumAndAReleaseWakesAWaiter) {
    platform::Semaphore semaphore(0, 2);
    bool taken = false;
    std::thread waiter([&]() { taken = semaphore.WaitFor(60000); });
    EXPECT_TRUE(semaphore.Release(1));
    waiter.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(semaphore.Release(2));
    EXPECT_FALSE(semaphore.Release(1));
    EXPECT_TRUE(semaphore.WaitFor(0));
    EXPECT_TRUE(semaphore.WaitFor(0));
    EXPECT_FALSE(semaphore.WaitFor(0));
}

TEST(Event, WakesAWaiterAndStaysSetUntilReset) {
    platform::Event event;
    EXPECT_FALSE(event.WaitFor(0));
    std::thread setter([&]() { event.Set(); });
    EXPECT_TRUE(event.WaitFor(60000));
    setter.join();
    EXPECT_TRUE(event.WaitFor(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
}

}  // namespace
