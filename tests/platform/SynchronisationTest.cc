// The semaphore and the event, and the named objects the host and the program share: the second
// opener shares the bytes and the count, and the creator unlinks the names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "platform/FileSystem.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"
#include "platform/Semaphore.h"

namespace {

std::string UniqueName(const char* base) {
    return std::string("/") + base + std::to_string(getpid());
}

TEST(Semaphore, RespectsItsMaximumAndAReleaseWakesAWaiter) {
    platform::Semaphore semaphore(0, 2);
    bool taken = false;
    std::thread waiter([&]() { taken = semaphore.WaitFor(60000); });
    EXPECT_TRUE(semaphore.Release(1));
    waiter.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(semaphore.Release(2));
    EXPECT_FALSE(semaphore.Release(1));
    EXPECT_TRUE(semaphore.WaitFor(0) && semaphore.WaitFor(0));
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

TEST(NamedSharedMemory, SecondOpenOfTheSameSizeSharesTheBytesAndTheCreatorUnlinks) {
    const std::string name = UniqueName("ScTestMem");
    const std::string files[] = {"/dev/shm" + name, "/dev/shm/sem." + name.substr(1) + "Mutex"};
    {
        platform::NamedSharedMemory creator, other, otherSize;
        ASSERT_TRUE(creator.Open(name, 4096) && creator.Created());
        ASSERT_TRUE(other.Open(name, 4096) && !other.Created());
        std::memcpy(creator.Data(), "hello", 6);
        EXPECT_STREQ("hello", reinterpret_cast<const char*>(other.Data()));
        EXPECT_FALSE(otherSize.Open(name, 8192) || otherSize.IsOpen());
        EXPECT_FALSE(otherSize.Open(name, 0));
        for (const std::string& file : files) {
            EXPECT_TRUE(platform::FileExists(file)) << file;
        }
    }
    for (const std::string& file : files) {
        EXPECT_FALSE(platform::FileExists(file)) << file;
    }
}

TEST(NamedSemaphore, CountsAcrossHandlesAndTheCreatorUnlinks) {
    const std::string name = UniqueName("ScTestSem");
    platform::NamedSemaphore a, b;
    ASSERT_TRUE(a.Open(name, 0) && a.Created());
    ASSERT_TRUE(b.Open(name, 0) && !b.Created());
    EXPECT_FALSE(b.WaitFor(1));
    ASSERT_TRUE(a.Release(2));
    EXPECT_TRUE(b.WaitFor(0) && b.WaitFor(0));
    EXPECT_FALSE(b.WaitFor(0));
    a.Close();
    EXPECT_FALSE(platform::FileExists("/dev/shm/sem." + name.substr(1)));
}

}  // namespace
