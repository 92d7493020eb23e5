// The playback clock on an injected tick: continuity across speed changes, the 32-bit tick
// wrap, reset, and speeds that must not break it.
#include <gtest/gtest.h>

#include <limits>

#include "media/input/CAVPlaySyncTime.h"

namespace {

uint32_t g_tick = 0;

class PlaySyncTime : public ::testing::Test {
  protected:
    void SetUp() override { g_tick = 0xFFFFFC00u; }  // wraps past 2^32 within 1024 ms
    CAVPlaySyncTime clock{[] { return g_tick; }};
};

TEST_F(PlaySyncTime, RunsFromTheSetTimeAcrossTheTickWrapAndSpeedChanges) {
    clock.SetTime(5000);
    g_tick += 1000;
    EXPECT_EQ(6000u, clock.GetTime());
    const uint32_t anchor = clock.GetAnchorTick();
    clock.SetSpeed(1.0);  // the same speed leaves the anchor
    EXPECT_EQ(anchor, clock.GetAnchorTick());
    clock.SetSpeed(2.0);
    g_tick += 1000;
    EXPECT_EQ(8000u, clock.GetTime());
    EXPECT_EQ(2.0, clock.GetSpeed());
    clock.Reset();  // reads the tick itself, at speed 1
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
