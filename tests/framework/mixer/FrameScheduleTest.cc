// When the mixer makes frames: no drift over a long run, late frames skipped rather than burst;
// and the media time each canvas carries.
#include <gtest/gtest.h>

#include "framework/mixer/CanvasClock.h"
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

    // Made 100 ms late: the frames due meanwhile are skipped, the latest due is made next.
    const uint64_t late = schedule.DueUs() + 100000;
    EXPECT_EQ(schedule.Advance(late), 2u);
    EXPECT_LE(schedule.DueUs(), late);
    EXPECT_GT(schedule.DueUs() + 33334, late);
    EXPECT_EQ(schedule.Advance(late), 0u);  // then back on the grid
    EXPECT_GT(schedule.DueUs(), late);
}

// Canvases due every 40 ms: a new picture's arrival, else the due time, always increasing.
TEST(CanvasClock, ACanvasCarriesItsNewestPicturesArrivalElseItsDueTime) {
    struct Step {
        uint64_t newestUs, dueUs, media;
        const char* why;
    } steps[] = {
        {0, 1000000, 1000000, "no picture yet: the due time"},
        {1005000, 1040000, 1005000, "a picture arrived 35 ms before the tick"},
        {1005000, 1080000, 1080000, "nothing new: the due time"},
        {1110000, 1120000, 1110000, "a new picture"},
        {1119500, 1160000, 1119500, "the next, arrived just before the last tick"},
        {1118000, 1200000, 1200000, "an older one is nothing new"},
        {1200500, 1240000, 1201000, "arrived after the last canvas's due time: a ms on"},
    };
    CanvasClock clock;
    for (const Step& step : steps) {
        EXPECT_EQ(step.media, clock.Next(step.newestUs, step.dueUs)) << step.why;
    }
}

}  // namespace
}  // namespace framework
