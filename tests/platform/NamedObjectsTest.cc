#include <gtest/gtest.h>

#include <unistd.h>
#include <cstring>
#include <string>

#include "platform/FileSystem.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"

namespace {

std::string UniqueName(const char* base) {
    return std::string("/") + base + std::to_string(getpid());
}

TEST(NamedSharedMemory, SecondOpenSharesTheBytesAndTheCreatorUnlinks) {
    const std::string name = UniqueName("ScTestMem");
    {
        platform::NamedSharedMemory creator;
        ASSERT_TRUE(creator.Open(name, 4096));
        EXPECT_TRUE(creator.Created());
        platform::NamedSharedMemory other;
        ASSERT_TRUE(other.Open(name, 4096));
        EXPECT_FALSE(other.Created());
        std::memcpy(creator.Data(), "hello", 6);
        EXPECT_STREQ("hello", reinterpret_cast<const char*>(other.Data()));
        EXPECT_TRUE(platform::FileExists("/dev/shm" + name));
        EXPECT_TRUE(platform::FileExists("/dev/shm/sem." + name.substr(1) + "Mutex"));
    }
    EXPECT_FALSE(platform::FileExists("/dev/shm" + name));
    EXPECT_FALSE(platform::FileExists("/dev/shm/sem." + name.substr(1) + "Mutex"));
}

TEST(NamedSharedMemory, ExistingMappingOfAnotherSizeIsAFailedCreate) {
    const std::string name = UniqueName("ScTestSize");
    platform::NamedSharedMemory creator;
    ASSERT_TRUE(creator.Open(name, 4096));
    platform::NamedSharedMemory other;
    EXPECT_FALSE(other.Open(name, 8192));
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(other.Open(name, 0));
}

TEST(NamedSemaphore, CountsAcrossHandlesAndTimesOut) {
    const std::string name = UniqueName("ScTestSem");
    platform::NamedSemaphore a;
    platform::NamedSemaphore b;
    ASSERT_TRUE(a.Open(name, 0));
    ASSERT_TRUE(b.Open(name, 0));
    EXPECT_TRUE(a.Created());
    EXPECT_FALSE(b.Created());
    EXPECT_FALSE(b.WaitFor(1));
    ASSERT_TRUE(a.Release(2));
    EXPECT_TRUE(b.WaitFor(0));
    EXPECT_TRUE(b.WaitFor(0));
    EXPECT_FALSE(b.WaitFor(0));
    a.Close();
    EXPECT_FALSE(platform::FileExists("/dev/shm/sem." + name.substr(1)));
}

}  // namespace
