// The recorder's time keeping without a clock: the recording clock through pauses, and where the
// host's sound blocks land on the timeline when they come on time, late, in a burst or not at all.
#include <gtest/gtest.h>

#include <vector>

#include "codec/AudioClock.h"
#include "framework/recorder/RecordClock.h"
#include "framework/recorder/RecordingOutput.h"

namespace framework {
namespace {

TEST(RecordClockTest, CountsOnlyTheTimeNotPaused) {
    using Op = void (RecordClock::*)(uint64_t);
    const Op start = &RecordClock::Start, pause = &RecordClock::Pause;
    const Op resume = &RecordClock::Resume, read = nullptr;
    struct Step {
        Op op;
        uint64_t atUs;
        int64_t elapsedUs;  // read right after the step
    };
    const std::vector<Step> steps = {
        {start, 10000000, 0},      {read, 10400000, 400000},
        {pause, 10500000, 500000}, {read, 12000000, 500000},     // stands still
        {pause, 12500000, 500000}, {resume, 13000000, 500000},   // a second pause: nothing
        {read, 13250000, 750000},  {resume, 13500000, 1000000},  // resuming twice: nothing
        {read, 12900000, 500000},  // earlier than the resume: as at the resume
        {start, 20000000, 0},      // a new recording starts from zero
        {read, 20100000, 100000},
    };
    RecordClock clock;
    EXPECT_EQ(clock.ElapsedUs(5000000), 0);  // never started
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].op != nullptr) {
            (clock.*steps[i].op)(steps[i].atUs);
        }
        EXPECT_EQ(clock.ElapsedUs(steps[i].atUs), steps[i].elapsedUs) << "step " << i;
    }
}

// 48 kHz: 10 ms blocks of 480 samples. The sound may lag the clock by 1 s (48000 samples) and
// lead it by 200 ms (9600 samples); a gap is closed with at most 100 ms (4800 samples) of
// silence, the timestamps jumping over the rest.
TEST(RecordingTimelineTest, HoldsTheSoundToTheClockOnlyBeyondItsBounds) {
    struct Block {
        int64_t clockMs;  // when it arrives
        int64_t skip;     // expected
        int64_t silence;
        bool drop = false;
    };
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        Block end;  // the recording's end, closed as a gap before a block would be
    };
    // One block at 10 ms, then `count` arriving together at `clockMs`, the last placed as
    // `last` says (the others as they come).
    const auto burst = [](int64_t clockMs, int count, Block last) {
        std::vector<Block> blocks{{10, 0, 0}};
        blocks.insert(blocks.end(), count - 1, Block{clockMs, 0, 0});
        blocks.push_back(last);
        return blocks;
    };
    const std::vector<Case> cases = {
        {"on time from the start", {{10, 0, 0}, {20, 0, 0}, {30, 0, 0}}, {30, 0, 0}},
        {"first block late: silence before it", {{110, 0, 4800}, {120, 0, 0}}, {120, 0, 0}},
        {"first block later: a jump, then silence", {{510, 19200, 4800}, {520, 0, 0}}, {520, 0, 0}},
        {"first block early: no silence, nothing dropped", {{3, 0, 0}, {13, 0, 0}}, {13, 0, 0}},
        {"late blocks within the bound change nothing",
         {{10, 0, 0}, {160, 0, 0}, {165, 0, 0}, {170, 0, 0}},
         {200, 2880, 4800}},
        {"blocks held up 600 ms then arriving together catch up by themselves",
         burst(600, 59, {600, 0, 0}),
         {600, 0, 0}},
        {"a gap beyond a second is jumped over, with silence before the next block",
         {{10, 0, 0}, {20, 0, 0}, {1330, 57600, 4800}, {1340, 0, 0}},
         {1340, 0, 0}},
        // 21 blocks at 10 ms lead the clock by 200 ms; one more would lead by more.
        {"blocks ahead beyond the bound are dropped", burst(10, 21, {10, 0, 0, true}), {0, 0, 0}},
        {"no sound at all: the whole recording closed at the end", {}, {1500, 67200, 4800}},
    };
    for (const Case& c : cases) {
        codec::AudioClock timeline(48000);
        timeline.StartAt(0);
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            const Block& block = c.blocks[i];
            const codec::AudioClock::Placement got = timeline.Place(block.clockMs * 1000, 480);
            const RecordingOutput::GapFill fill =
                RecordingOutput::SplitGap(got.restart ? got.jumpUs : 0, 48000);
            EXPECT_EQ(fill.skip, block.skip) << c.name << ", block " << i;
            EXPECT_EQ(fill.silence, block.silence) << c.name << ", block " << i;
            EXPECT_EQ(got.drop, block.drop) << c.name << ", block " << i;
            if (!got.drop) {
                timeline.Count(480);
            }
        }
        const RecordingOutput::GapFill end = RecordingOutput::SplitGap(
            c.end.clockMs * 1000 - timeline.TimeOfSample(timeline.Position()), 48000);
        EXPECT_EQ(end.skip, c.end.skip) << c.name;
        EXPECT_EQ(end.silence, c.end.silence) << c.name;
    }
}

}  // namespace
}  // namespace framework
