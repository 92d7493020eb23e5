// The product's main job through the real process: a host session with two raw-picture inputs,
// an H.264 input and a sound input, and a SetOutParam with a canvas and a layout, reach a real
// nginx as H.264 of the canvas's size with 48 kHz stereo AAC, each input's colour in its
// rectangle, announced in onMetaData as the server received it, and reach an SRT listener
// beside it as MPEG-TS with the same picture and sound; a CDN that cannot be reached holds
// nothing up; a changed URL list keeps the stream of a kept URL going without a reconnect
// or a gap, starts the new one (with the same metadata) and ends the dropped one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/integration/HostMedia.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/MetaDataReader.h"
#include "tests/media/push/NginxServer.h"

namespace sctest {
namespace {

constexpr int kToolMs = 20000;

class LiveOutputTest : public StreamCourierTest {
  protected:
    // One key frame of the live stream, decoded to I420; of a file, its last one.
    std::vector<uint8_t> Picture(const std::string& source) {
        const bool file = source.find("://") == std::string::npos;
        std::vector<std::string> args = {"-v",          "error", "-rw_timeout", "5000000",
                                         "-skip_frame", "nokey", "-i",          source};
        if (!file) {
            args.insert(args.end(), {"-frames:v", "1"});
        }
        args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
        rtmptest::FfTool ffmpeg(server_.Folder(), "ffmpeg", args);
        if (!ffmpeg.Finish(kToolMs)) {
            return {};
        }
        const std::vector<uint8_t> pictures = Bytes(ffmpeg.Read(".out"));
        const size_t size = 320 * 180 * 3 / 2;
        return pictures.size() < size ? pictures
                                      : std::vector<uint8_t>(pictures.end() - size, pictures.end());
    }
    static std::vector<uint8_t> Bytes(const std::string& text) {
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    std::string Probe(const std::vector<std::string>& args) {
        rtmptest::FfTool probe(server_.Folder(), "ffprobe", args);
        return probe.Finish(kToolMs) ? probe.Read(".out") : "";
    }

    rtmptest::NginxServer server_;
};

// What players of this stream must read in its onMetaData: the canvas, 15 fps, the bitrate rule's
// 125 kbit/s for 320x180 at 15 fps and quality 2, and 128 kbit/s stereo AAC at 48 kHz.
const rtmptest::MetaFields kMetaData = {
    {"encoder", "SC Courier"}, {"width", "320"},         {"height", "180"},
    {"framerate", "15"},       {"videocodecid", "7"},    {"videodatarate", "125"},
    {"audiocodecid", "10"},    {"audiodatarate", "128"}, {"audiosamplerate", "48000"},
    {"audiosamplesize", "16"}, {"stereo", "true"}};

TEST_F(LiveOutputTest, ComposedStreamReachesEveryCdnAndAChangedListKeepsTheKeptStream) {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send("<cmd id=\"4100\" />"));
    ASSERT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"0\" /></cmd>"));
    for (const std::string& command : CreateInputs()) {
        ASSERT_TRUE(host_.Send(command));
        ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4357\"><Result val=\"0\" />",
                         kAnswerMs, false));
    }
    HostMedia media(host_.Port());
    ASSERT_TRUE(media.Open());
    ASSERT_TRUE(media.StartThread());
    const std::string answer =
        "<cmd id=\"4359\"><Result val=\"0\" /><ContextID val=\"10001\" /></cmd>";
    // The second CDN's port is closed: its pusher retries, and the others play all the same.
    const std::string dead =
        "rtmp://127.0.0.1:" + std::to_string(rtmptest::NginxServer::FreePort()) + "/live/dead";
    const std::string srtPort = std::to_string(rtmptest::NginxServer::FreePort());
    rtmptest::FfTool srt(server_.Folder(), "srt-live-transmit",
                         {"-q", "srt://:" + srtPort + "?mode=listener", "file://con"});
    ASSERT_TRUE(host_.Send(
        SetOutParam({server_.Url("a"), dead, "srt://127.0.0.1:" + srtPort + "?latency=120"})));
    ASSERT_TRUE(NextMessageIs(answer));

    const std::string streams =
        Probe({"-v", "error", "-rw_timeout", "5000000", "-show_entries",
               "stream=codec_type,codec_name,width,height,sample_rate,channels", server_.Url("a")});
    EXPECT_NE(streams.find("codec_name=h264"), std::string::npos) << streams;
    EXPECT_NE(streams.find("width=320\nheight=180"), std::string::npos) << streams;
    EXPECT_NE(streams.find("codec_name=aac"), std::string::npos) << streams;
    EXPECT_NE(streams.find("sample_rate=48000\nchannels=2"), std::string::npos) << streams;
    EXPECT_EQ(kMetaData, rtmptest::ReadMetaData(server_.Url("a")));
    const std::vector<uint8_t> picture = Picture(server_.Url("a"));
    EXPECT_TRUE(ColourAt(picture, 80, 45, kRed));
    EXPECT_TRUE(ColourAt(picture, 240, 45, kGreen));
    EXPECT_TRUE(ColourAt(picture, 80, 135, kBlue));               // the H.264 input
    EXPECT_TRUE(ColourAt(picture, 240, 135, Yuv{16, 128, 128}));  // nothing there: black
    ASSERT_GE(srt.WaitForOutput(100000, kToolMs), 0) << srt.Read(".err");
    srt.Interrupt();
    ASSERT_TRUE(srt.Finish(kToolMs));
    const std::string srtStreams =
        Probe({"-v", "error", "-show_entries",
               "stream=codec_name,width,height,sample_rate,channels", srt.Path(".out")});
    EXPECT_NE(srtStreams.find("codec_name=h264\nwidth=320\nheight=180"), std::string::npos)
        << srtStreams;
    EXPECT_NE(srtStreams.find("codec_name=aac\nsample_rate=48000\nchannels=2"), std::string::npos)
        << srtStreams;
    const std::vector<uint8_t> srtPicture = Picture(srt.Path(".out"));
    EXPECT_TRUE(ColourAt(srtPicture, 80, 45, kRed));
    EXPECT_TRUE(ColourAt(srtPicture, 240, 45, kGreen));
    EXPECT_TRUE(ColourAt(srtPicture, 80, 135, kBlue));

    // While a player follows "a", the list becomes "a" and "b".
    rtmptest::FfTool follower(
        server_.Folder(), "ffprobe",
        {"-v", "error", "-rw_timeout", "5000000", "-read_intervals", "%+6", "-select_streams", "v",
         "-show_entries", "packet=pts_time", server_.Url("a")});
    ASSERT_TRUE(server_.WaitForLog("play: name='a'", kToolMs, 3));
    ASSERT_TRUE(host_.Send(SetOutParam({server_.Url("a"), server_.Url("b")})));
    ASSERT_TRUE(NextMessageIs(answer));
    EXPECT_TRUE(server_.WaitForLog("publish: name='b'", kToolMs));
    EXPECT_EQ(kMetaData, rtmptest::ReadMetaData(server_.Url("b")));
    ASSERT_TRUE(follower.Finish(kToolMs));
    double last = -1, widest = 0;
    int packets = 0;
    for (const rtmptest::Fields& packet : rtmptest::Sections(follower.Read(".out"), "PACKET")) {
        const double at = std::atof(packet.at("pts_time").c_str());
        widest = last < 0 ? 0 : std::max(widest, at - last);
        last = at;
        ++packets;
    }
    EXPECT_GE(packets, 60);
    EXPECT_LT(widest, 0.3);                                         // no gap in the kept stream
    EXPECT_FALSE(server_.WaitForLog("publish: name='a'", 100, 2));  // and no second publish

    // Then "b" alone: "a" ends.
    ASSERT_TRUE(host_.Send(SetOutParam({server_.Url("b")})));
    ASSERT_TRUE(NextMessageIs(answer));
    EXPECT_TRUE(server_.WaitForLog("deleteStream", kToolMs));
    media.StopThread();
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

}  // namespace
}  // namespace sctest
