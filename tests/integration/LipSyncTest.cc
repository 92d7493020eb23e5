// Lip sync through the real process to a real nginx: the host writes the sync pattern (a
// white picture and a beep at the same instants, the sound in 20 ms blocks written as they
// end), StreamCourier composes and pushes it, and in what nginx recorded every flash meets its
// beep within 25 ms. The offsets are the recording's own timestamps, not times taken here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/MediaFeeder.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/NginxServer.h"
#include "tests/media/push/RecordedSync.h"

namespace sctest {
namespace {

constexpr int kToolMs = 30000;

qxhost::FeedSettings SyncStream(qxhost::FeedKind kind, uint8_t channel, uint8_t type) {
    qxhost::FeedSettings settings;
    settings.kind = kind;
    settings.channel = channel;
    settings.type = type;
    settings.userId = 7;
    settings.rate = kind == qxhost::FeedKind::kTone ? 50 : 30;
    settings.width = 320;
    settings.height = 180;
    settings.pattern = qxhost::FeedPattern::kSync;
    return settings;
}

class LipSyncTest : public StreamCourierTest {};

TEST_F(LipSyncTest, EveryFlashMeetsItsBeepAtTheServer) {
    rtmptest::NginxServer server;
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send("<cmd id=\"4100\" />"));
    ASSERT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"0\" /></cmd>"));
    for (const int type : {3, 1}) {
        ASSERT_TRUE(
            host_.Send("<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID val=\"7\" />"
                       "<MediaType val=\"" +
                       std::to_string(type) + "\" /><MediaID val=\"0\" /></cmd>"));
        ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4357\"><Result val=\"0\" />",
                         kAnswerMs, false));
    }
    qxhost::MediaFeeder feeder(host_.Port());
    std::string error;
    ASSERT_TRUE(feeder.AddStream(SyncStream(qxhost::FeedKind::kPicture, 3, 3), &error)) << error;
    ASSERT_TRUE(feeder.AddStream(SyncStream(qxhost::FeedKind::kTone, 1, 1), &error)) << error;
    ASSERT_TRUE(feeder.Open(&error)) << error;
    ASSERT_TRUE(feeder.Start());
    ASSERT_TRUE(host_.Send(
        "<cmd id=\"4103\"><ContextID val=\"10001\" /><OutPutFrameRate val=\"30\" /><OutUrlList>"
        "<OutUrl val=\"" +
        server.Url("sync") +
        "\" /></OutUrlList><CanvasSize><Width val=\"320\" /><Height val=\"180\" /></CanvasSize>"
        "<AudioInputList><Input val=\"101\" /></AudioInputList><VideoInputList><Input "
        "val=\"100\"><Layout><X val=\"0\" /><Y val=\"0\" /><Width val=\"320\" /><Height "
        "val=\"180\" /></Layout></Input></VideoInputList></cmd>"));
    ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4359\"><Result val=\"0\" />",
                     kAnswerMs, false));

    const std::string recording = server.Folder() + "/sync.flv";
    rtmptest::FfTool record(server.Folder(), "ffmpeg",
                            {"-nostdin", "-v", "error", "-rw_timeout", "5000000", "-i",
                             server.Url("sync"), "-c", "copy", "-t", "10", "-y", recording});
    ASSERT_TRUE(record.Finish(kToolMs)) << record.Read(".err");
    feeder.Stop();
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
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

}  // namespace
}  // namespace sctest
