#include "base/WThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

class WaitingThread : public KESTREL::WThread {
  public:
    ~WaitingThread() override { StopThread(); }
    int32_t ThreadProcEx() override {
        ran.store(true);
        StopEvent().Wait();
        return StopRequested() ? 7 : 0;
    }
    std::atomic<bool> ran{false};
};

TEST(WThread, WaitedStartRunsOnceStopJoinsWithTheExitCodeAndItRestarts) {
    WaitingThread thread;
    ASSERT_TRUE(thread.StartThread(true, nullptr));
    EXPECT_TRUE(thread.IsRunning());
    const uint32_t id = thread.GetThreadId();
    EXPECT_NE(0u, id);
    EXPECT_TRUE(thread.StartThread(true, nullptr));  // keeps the running thread
    EXPECT_EQ(id, thread.GetThreadId());
    thread.StopThread();
    EXPECT_TRUE(thread.ran.load());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(7, thread.GetExitCode());
    EXPECT_EQ(0u, thread.GetThreadId());
    ASSERT_TRUE(thread.StartThread(true, nullptr));
    EXPECT_TRUE(thread.IsRunning());
}

}  // namespace
