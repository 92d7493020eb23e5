// Local recording through the real process: RecordParam for a region of a real Xvfb, a tone
// into the recording ring as the meeting client writes it, then the session's end. The file
// holds H.264 of the region's size and the ring's sound; the recorder's own tests check the rest.
#include <gtest/gtest.h>

#include <string>

#include "host/RecordOptions.h"
#include "tests/framework/recorder/XvfbServer.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/MediaProbe.h"

namespace sctest {
namespace {

using RecordingTest = StreamCourierTest;

TEST_F(RecordingTest, ARegionAndTheRingsSoundReachTheFileWhichTheSessionsEndFinishes) {
    rectest::XvfbServer screen(320, 240);
    ASSERT_TRUE(screen.Ready());
    extraEnvironment_ = {"DISPLAY=" + screen.Name()};
    ASSERT_TRUE(StartSession());
    const std::string file = home_.Path() + "/recording.mp4";
    std::string record, error;
    ASSERT_TRUE(
        qxhost::ParseRecordOption("path=" + file + ",region=16:8:160x120,fps=25", &record, &error))
        << error;
    ASSERT_TRUE(host_.Send(record));
    ASSERT_TRUE(NextMessageIs("<cmd id=\"4352\"><Result val=\"0\" /></cmd>"));
    ASSERT_TRUE(Feed({{"--ring", "rate=100,hz=440,count=150"}}));  // 1.5 s of 48 kHz stereo
    ASSERT_TRUE(feeder_->WaitFinished(10000));
    EXPECT_TRUE(EndsWithZero());

    const rtmptest::MediaProbe probe(home_.Path(), file);
    EXPECT_EQ("h264 160x120, aac 48000 Hz 2 ch", probe.Summary());
    // The ring's 1.5 s are 70 frames of 1024 samples, nearly all of which must be there (without
    // the ring's sound, the end's 100 ms of silence would be 5 frames).
    EXPECT_GT(probe.Packets("a").size(), 60u);
}

}  // namespace
}  // namespace sctest
