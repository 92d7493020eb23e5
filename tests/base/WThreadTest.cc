#include "base/WThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

class WaitingThread : public KESTREL::WThread {
  public:
    ~WaitingThread() override { StopThread(); }
    int32_t ThreadProcEx() override {
        ++runs;
        StopEvent().Wait();
        stopSeen = StopRequested();
        return 0;
    }
    std::atomic<int> runs{0};
    std::atomic<bool> stopSeen{false};
};

TEST(WThread, WaitedStartRunsOnceStopWakesAndJoinsItAndItRestarts) {
    WaitingThread thread;
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(thread.StartThread(true, nullptr));
        EXPECT_TRUE(thread.StartThread(true, nullptr));  // keeps the running thread
        EXPECT_TRUE(thread.IsRunning());
        thread.StopThread();
        EXPECT_FALSE(thread.IsRunning());
        EXPECT_EQ(thread.runs.load(), round);
        EXPECT_TRUE(thread.stopSeen.exchange(false)) << "round " << round;
    }
}

}  // namespace
