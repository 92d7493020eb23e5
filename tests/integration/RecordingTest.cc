// Local recording through the real process: the host sends RecordParam, writes a tone into the
// recording ring as the meeting client does, pauses and resumes, asks RecordTime and stops; the
// file (a region of a real Xvfb painted one colour) holds H.264 of the region's size in that
// colour and AAC, as long as RecordTime said. Without a display, sound alone is recorded.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "host/MediaFeeder.h"
#include "tests/framework/recorder/XvfbServer.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"

namespace sctest {
namespace {

constexpr int kToolMs = 20000;

class RecordingTest : public StreamCourierTest {
  protected:
    AssertionResult Start(const std::vector<std::string>& extra) {
        std::vector<std::string> environment = Environment();
        environment.insert(environment.end(), extra.begin(), extra.end());
        if (!host_.StartProcess(SC_STREAMCOURIER_EXE, environment) ||
            !host_.AcceptSession(kStartMs)) {
            return AssertionFailure() << "StreamCourier did not start and connect";
        }
        return AssertionSuccess();
    }
    // Sends `command`; the answer must be `answer`.
    AssertionResult Exchange(const std::string& command, const std::string& answer) {
        return host_.Send(command) ? NextMessageIs(answer)
                                   : AssertionFailure() << "not sent: " << command;
    }
    // The tone into the ring: 48 kHz stereo in 10 ms blocks.
    bool StartTone() {
        qxhost::FeedSettings tone;
        tone.kind = qxhost::FeedKind::kTone;
        tone.channel = qxhost::kRecordRingChannel;
        tone.rate = 100;
        tone.sampleRate = 48000;
        tone.audioChannels = 2;
        std::string error;
        return feeder_.AddStream(tone, &error) && feeder_.Open(&error) && feeder_.Start();
    }
    // ffprobe's entries of the recording.
    std::string Probe(const std::string& entries) {
        rtmptest::FfTool probe(home_.Path(), "ffprobe",
                               {"-v", "error", "-show_entries", entries, "-of", "csv=p=0", File()});
        return probe.Finish(kToolMs) ? probe.Read(".out") : "";
    }
    std::string File() const { return home_.Path() + "/recording.mp4"; }

    qxhost::MediaFeeder feeder_{host_.Port()};
};

void Pace(int ms) {  // media time of the scenario, not a wait for anything
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST_F(RecordingTest, ARegionWithSoundThroughAPauseLastsAsLongAsRecordTimeSays) {
    rectest::XvfbServer screen(320, 240);
    ASSERT_TRUE(screen.Ready());
    screen.PaintRoot(0xC02020);
    ASSERT_TRUE(Start({"DISPLAY=" + screen.Name()}));
    const std::string record =
        "<cmd id=\"4096\"><HasVideo val=\"1\" /><CapLeft val=\"16\" /><CapTop val=\"8\" />"
        "<CapWidth val=\"160\" /><CapHeight val=\"120\" /><VideoFrameRate val=\"25\" />"
        "<HasAudio val=\"1\" /><AudioSampleRate val=\"48000\" /><AudioChannels val=\"2\" />"
        "<BitsPerSample val=\"16\" /><MP4 val=\"1\" /><RecordPath val=\"" +
        File() + "\" /></cmd>";
    ASSERT_TRUE(Exchange(record, "<cmd id=\"4352\"><Result val=\"0\" /></cmd>"));
    ASSERT_TRUE(StartTone());
    Pace(1500);
    const std::string paused = "<cmd id=\"4354\"><Operation val=\"1\" /><Result val=\"0\" /></cmd>";
    ASSERT_TRUE(Exchange("<cmd id=\"4098\"><Operation val=\"1\" /></cmd>", paused));
    Pace(1000);
    ASSERT_TRUE(Exchange("<cmd id=\"4098\"><Operation val=\"2\" /></cmd>",
                         "<cmd id=\"4354\"><Operation val=\"2\" /><Result val=\"0\" /></cmd>"));
    Pace(1500);
    ASSERT_TRUE(Exchange("<cmd id=\"4098\" />",
                         "<cmd id=\"4354\"><Operation val=\"0\" /><Result val=\"0\" /></cmd>"));
    // Asked after the stop: the whole recording's length.
    ASSERT_TRUE(host_.Send("<cmd id=\"4099\" />"));
    const qxhost::Received time = host_.Receive(kAnswerMs);
    ASSERT_EQ(0u, time.payload.rfind("<cmd id=\"4355\"><RecordTime val=\"", 0)) << time.payload;
    const int recordedMs = std::atoi(time.payload.c_str() + 32);
    feeder_.Stop();

    EXPECT_NEAR(3000, recordedMs, 300);  // the pause is not counted
    EXPECT_EQ("h264,160,120\naac\n",
              Probe("stream=codec_name,width,height"));  // video first, then sound
    const double seconds = std::atof(Probe("format=duration").c_str());
    EXPECT_NEAR(recordedMs, seconds * 1000, 100);
    rtmptest::FfTool picture(home_.Path(), "ffmpeg",
                             {"-v", "error", "-ss", "1", "-i", File(), "-frames:v", "1", "-vf",
                              "scale=1:1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    ASSERT_TRUE(picture.Finish(kToolMs));
    const std::string rgb = picture.Read(".out");
    ASSERT_EQ(3u, rgb.size());
    EXPECT_NEAR(0xC0, static_cast<uint8_t>(rgb[0]), 16);
    EXPECT_NEAR(0x20, static_cast<uint8_t>(rgb[1]), 16);
    EXPECT_NEAR(0x20, static_cast<uint8_t>(rgb[2]), 16);
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

TEST_F(RecordingTest, WithoutADisplaySoundAloneIsRecordedAndVideoIsRefused) {
    ASSERT_TRUE(Start({"DISPLAY"}));
    const std::string path = "<RecordPath val=\"" + File() + "\" /></cmd>";
    const std::string refused = "<cmd id=\"4352\"><Result val=\"" +
                                std::to_string(static_cast<int32_t>(0x80040401u)) + "\" /></cmd>";
    ASSERT_TRUE(
        Exchange("<cmd id=\"4096\"><HasVideo val=\"1\" /><VideoFrameRate val=\"25\" />"
                 "<HasAudio val=\"1\" /><AudioSampleRate val=\"48000\" />"
                 "<AudioChannels val=\"2\" /><BitsPerSample val=\"16\" />" +
                     path,
                 refused));
    ASSERT_TRUE(
        Exchange("<cmd id=\"4096\"><HasAudio val=\"1\" /><AudioSampleRate val=\"48000\" />"
                 "<AudioChannels val=\"2\" /><BitsPerSample val=\"16\" /><MP4 val=\"1\" />" +
                     path,
                 "<cmd id=\"4352\"><Result val=\"0\" /></cmd>"));
    ASSERT_TRUE(StartTone());
    Pace(1000);
    host_.CloseSession();  // the session's end ends the recording and finishes the file
    EXPECT_TRUE(ExitsWithZero(kExitMs));
    feeder_.Stop();
    EXPECT_EQ("aac\n", Probe("stream=codec_name"));
}

}  // namespace
}  // namespace sctest
