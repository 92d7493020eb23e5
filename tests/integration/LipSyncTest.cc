// Lip sync through the real process to a real nginx: the host writes the sync pattern (a
// white picture and a beep at the same instants, the sound in 20 ms blocks written as they
// end), StreamCourier composes and pushes it, and in what nginx recorded every flash meets its
// beep within 25 ms. The offsets are the recording's own timestamps, not times taken here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/NginxServer.h"
#include "tests/media/push/RecordedSync.h"

namespace sctest {
namespace {

constexpr int kToolMs = 30000;

class LipSyncTest : public StreamCourierTest {};

TEST_F(LipSyncTest, EveryFlashMeetsItsBeepAtTheServer) {
    rtmptest::NginxServer server;
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(OpenContext({{7, 3}, {7, 1}}));
    ASSERT_TRUE(Feed({{"--video", "channel=3,user=7,size=320x180,rate=30,pattern=sync"},
                      {"--audio", "channel=1,user=7,rate=50,pattern=sync"}}));
    ASSERT_TRUE(SetOutput("url=" + server.Url("sync") + ",canvas=320x180,rate=30,audio=101",
                          {"input=100,x=0,y=0,size=320x180"}));

    const std::string recording = server.Folder() + "/sync.flv";
    rtmptest::FfTool record(server.Folder(), "ffmpeg",
                            {"-nostdin", "-v", "error", "-rw_timeout", "5000000", "-i",
                             server.Url("sync"), "-c", "copy", "-t", "10", "-y", recording});
    ASSERT_TRUE(record.Finish(kToolMs)) << record.Read(".err");
    feeder_->Stop();
    std::string error;
    const std::vector<double> flashes = rtmptest::RecordedFlashes(server.Folder(), recording);
    const std::vector<rtmptest::Onset> onsets =
        rtmptest::RecordedOnsets(server.Folder(), recording, &error);
    ASSERT_TRUE(error.empty()) << error;
    int pairs = 0;
    for (const double flash : flashes) {
        for (const rtmptest::Onset& onset : onsets) {
            if (std::abs(onset.ptsMs - flash) < 500) {
                EXPECT_NEAR(onset.ptsMs, flash, 25.0) << "flash at " << flash << " ms";
                ++pairs;
            }
        }
    }
    EXPECT_GE(pairs, 3);
    EXPECT_TRUE(EndsWithZero());
}

}  // namespace
}  // namespace sctest
