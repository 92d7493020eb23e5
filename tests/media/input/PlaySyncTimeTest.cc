#include <gtest/gtest.h>

#include <limits>

#include "media/input/CAVPlaySyncTime.h"

namespace {

uint32_t g_tick = 0;
uint32_t FakeTick() {
    return g_tick;
}

class PlaySyncTime : public ::testing::Test {
  protected:
    void SetUp() override { g_tick = 1000; }
    CAVPlaySyncTime clock{&FakeTick};
};

TEST_F(PlaySyncTime, RunsFromTheSetTimeAndKeepsContinuityAcrossSpeedChanges) {
    clock.SetTime(5000);
    g_tick += 1000;
    EXPECT_EQ(6000u, clock.GetTime());
    clock.SetSpeed(2.0);
    g_tick += 1000;
    EXPECT_EQ(8000u, clock.GetTime());
    EXPECT_EQ(2.0, clock.GetSpeed());
}

TEST_F(PlaySyncTime, SameSpeedLeavesTheAnchor) {
    clock.SetTime(0);
    const uint32_t anchor = clock.GetAnchorTick();
    g_tick += 500;
    clock.SetSpeed(1.0);
    EXPECT_EQ(anchor, clock.GetAnchorTick());
}

TEST_F(PlaySyncTime, TimerWrapStillGivesTheElapsedTime) {
    g_tick = 0xFFFFFF00u;
    clock.SetTime(100);
    g_tick += 0x200;  // wraps past 2^32
    EXPECT_EQ(100u + 0x200, clock.GetTime());
}

TEST_F(PlaySyncTime, ResetReadsTheTimerItself) {
    clock.SetTime(5000);
    clock.SetSpeed(3.0);
    clock.Reset();
    g_tick = 123456;
    EXPECT_EQ(123456u, clock.GetTime());
    EXPECT_EQ(1.0, clock.GetSpeed());
}

TEST_F(PlaySyncTime, OddSpeedsNeverBreakTheClock) {
    clock.SetTime(1000);
    clock.SetSpeed(-5.0);
    g_tick += 1000;
    EXPECT_EQ(0u, clock.GetTime());
    clock.SetSpeed(std::numeric_limits<double>::quiet_NaN());
    g_tick += 1000;
    EXPECT_EQ(0u, clock.GetTime());
}

}  // namespace
