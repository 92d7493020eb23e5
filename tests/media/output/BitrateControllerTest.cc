// Dynamic bitrate on a simulated clock: the pushers' statistics in, the encoder's bitrate out.
#include "media/output/BitrateController.h"

#include <gtest/gtest.h>

#include <vector>

namespace streammanager {
namespace {

PusherStats Link(int32_t backlogMs, int32_t sendKbps, PushState state = PushState::kStreaming) {
    PusherStats stats;
    stats.state = state;
    stats.backlogMs = backlogMs;
    stats.sendKbps = sendKbps;
    return stats;
}

// 2 Mbit/s of video and 128 kbit/s of sound; a step every half second.
TEST(BitrateController, FollowsTheLinksWhenAllAreSlowAndClimbsBackWhenTheyClear) {
    struct Step {
        uint64_t atMs;
        std::vector<PusherStats> pushers;
        int32_t change;  // 0: none
        const char* why;
    };
    const PusherStats fast = Link(20, 2200);
    const Step steps[] = {
        {0, {fast, fast}, 0, "both links keep up"},
        {500, {Link(400, 1100), fast}, 0, "one slow CDN among good ones: it drops instead"},
        {1000,
         {Link(400, 1100), Link(250, 1500)},
         900000,
         "all congested: the slowest send rate less the sound, rounded down to 100 kbit/s"},
        {1500, {Link(400, 700), Link(300, 900)}, 0, "just changed: the links are measured again"},
        {3000, {Link(400, 300), Link(300, 900)}, 500000, "a quarter of the original at least"},
        {3500, {Link(100, 450), Link(50, 480)}, 0, "clear, but not for long yet"},
        {7500, {Link(100, 450), Link(50, 480)}, 700000, "clear for 4 s: up by a tenth"},
        {10000, {Link(100, 650), Link(50, 680)}, 0, "the next step 4 s after the last"},
        {11500,
         {Link(0, 0, PushState::kConnecting), fast},
         900000,
         "a pusher still connecting does not count"},
        {15500, {fast, fast}, 1100000, ""},
        {19500, {fast, fast}, 1300000, ""},
        {23500, {fast, fast}, 1500000, ""},
        {27500, {fast, fast}, 1700000, ""},
        {31500, {fast, fast}, 1900000, ""},
        {35500, {fast, fast}, 2000000, "back to the original"},
        {39500, {fast, fast}, 0, "and not beyond"},
        {40000, {Link(0, 0, PushState::kWaitingToReconnect)}, 0, "no link connected: no change"},
    };
    BitrateController controller;
    controller.Reset(2000000, 128000);
    for (const Step& step : steps) {
        EXPECT_EQ(step.change, controller.Update(step.atMs, step.pushers))
            << step.atMs << " ms: " << step.why;
    }
}

}  // namespace
}  // namespace streammanager
