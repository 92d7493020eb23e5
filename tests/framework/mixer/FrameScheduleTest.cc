// When frames are made: no drift over a long run, late frames skipped rather than burst,
// canvas time continuous across a restart.
#include <gtest/gtest.h>

#include "framework/mixer/FrameSchedule.h"

namespace framework {
namespace {

TEST(FrameSchedule, DueTimesNeverDriftAndLateTicksAreSkipped) {
    FrameSchedule schedule;
    schedule.Restart(1000000, 30);
    for (int frame = 0; frame < 30 * 3600; ++frame) {  // an hour, each frame made on time
        ASSERT_EQ(schedule.Advance(schedule.DueUs()), 0u);
    }
    EXPECT_EQ(schedule.DueUs(), 1000000u + 3600u * 1000000u);
    EXPECT_EQ(schedule.CanvasMs(), 3600u * 1000u);

    // Made 100 ms late: the frames due meanwhile are skipped, the latest due is made next.
    const uint64_t late = schedule.DueUs() + 100000;
    EXPECT_EQ(schedule.Advance(late), 2u);
    EXPECT_LE(schedule.DueUs(), late);
    EXPECT_GT(schedule.DueUs() + 33334, late);
    EXPECT_EQ(schedule.Advance(late), 0u);  // then back on the grid
    EXPECT_GT(schedule.DueUs(), late);
}

TEST(FrameSchedule, CanvasTimeGoesOnAcrossARestart) {
    FrameSchedule schedule;
    schedule.Restart(5000000, 25);
    schedule.Advance(5000000);
    EXPECT_EQ(schedule.CanvasMs(), 40u);
    schedule.Restart(7000000, 10);  // a new rate two seconds in
    EXPECT_EQ(schedule.CanvasMs(), 2000u);
    schedule.Advance(7000000);
    EXPECT_EQ(schedule.CanvasMs(), 2100u);
}

}  // namespace
}  // namespace framework
