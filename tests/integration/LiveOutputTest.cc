// The product's main job through the real process: a host session with two raw-picture inputs,
// an H.264 input and a sound input, and a SetOutParam with a canvas and a layout, reach a real
// nginx as H.264 of the canvas's size with 48 kHz stereo AAC, each input's colour in its
// rectangle; a CDN that cannot be reached holds nothing up; a changed URL list keeps the stream
// of a kept URL going without a reconnect or a gap, starts the new one and ends the dropped one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/WThread.h"
#include "host/H264Encoder.h"
#include "host/StreamWriter.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/NginxServer.h"

namespace sctest {
namespace {

constexpr int kToolMs = 20000;
constexpr uint16_t kSide = 160;  // every input's pictures: 160 x 90
constexpr uint16_t kLow = 90;

struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kGreen{145, 54, 34};
constexpr Yuv kBlue{41, 240, 110};

std::vector<uint8_t> Solid(const Yuv& color) {
    std::vector<uint8_t> picture(kSide * kLow, color.y);
    picture.resize(kSide * kLow * 5 / 4, color.u);
    picture.resize(kSide * kLow * 3 / 2, color.v);
    return picture;
}

// The host's side: a red (user 7) and a green (user 8) picture at 15 fps, a blue one as H.264
// (user 9), a 440 Hz tone in 20 ms blocks (user 10), written into the process's channels.
class HostMedia : public KESTREL::WThread {
  public:
    explicit HostMedia(int32_t port) : pictures_(3, port), encoded_(2, port), sound_(1, port) {}
    ~HostMedia() override { StopThread(); }
    bool Open() {
        qxhost::H264Settings settings;
        settings.width = kSide;
        settings.height = kLow;
        settings.frameRate = 15;
        settings.keyInterval = 15;
        return pictures_.Open() && encoded_.Open() && sound_.Open() && encoder_.Open(settings);
    }
    int32_t ThreadProcEx() override {
        const std::vector<uint8_t> red = Solid(kRed), green = Solid(kGreen), blue = Solid(kBlue);
        std::vector<uint8_t> tone(640);
        for (uint32_t block = 0; !StopEvent().WaitFor(20); ++block) {
            for (size_t i = 0; i < tone.size() / 2; ++i) {
                const double t = (block * 320.0 + i) / 16000.0;
                const auto sample = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
                tone[2 * i] = static_cast<uint8_t>(sample);
                tone[2 * i + 1] = static_cast<uint8_t>(sample >> 8);
            }
            sound_.Write(1, 0, 10, 0, 0, tone.data(), static_cast<uint32_t>(tone.size()));
            if (block % 3 == 0) {
                pictures_.Write(3, 0, 7, kSide, kLow, red.data(),
                                static_cast<uint32_t>(red.size()));
                pictures_.Write(3, 0, 8, kSide, kLow, green.data(),
                                static_cast<uint32_t>(green.size()));
                qxhost::EncodedUnit unit;
                if (encoder_.Encode(blue.data(), block * 20, &unit)) {
                    encoded_.Write(2, 0, 9, 0, 0, unit.bytes.data(),
                                   static_cast<uint32_t>(unit.bytes.size()));
                }
            }
        }
        return 0;
    }

  private:
    qxhost::StreamWriter pictures_, encoded_, sound_;
    qxhost::H264Encoder encoder_;
};

std::string Layout(int handle, int x, int y) {
    return "<Input val=\"" + std::to_string(handle) + "\"><CropMode val=\"2\" /><Layout><X val=\"" +
           std::to_string(x) + "\" /><Y val=\"" + std::to_string(y) +
           "\" /><Width val=\"160\" /><Height val=\"90\" /></Layout></Input>";
}

std::string SetOutParam(const std::vector<std::string>& urls) {
    std::string text =
        "<cmd id=\"4103\"><ContextID val=\"10001\" /><OutPutFrameRate val=\"15\" />"
        "<OutUrlList>";
    for (const std::string& url : urls) {
        text += "<OutUrl val=\"" + url + "\" />";
    }
    return text +
           "</OutUrlList><CanvasSize><Width val=\"320\" /><Height val=\"180\" /></CanvasSize>"
           "<AudioInputList><Input val=\"103\" /></AudioInputList><VideoInputList>" +
           Layout(100, 0, 0) + Layout(101, 160, 0) + Layout(102, 0, 90) + "</VideoInputList></cmd>";
}

class LiveOutputTest : public StreamCourierTest {
  protected:
    // One key frame of the live stream, decoded to I420.
    std::vector<uint8_t> Picture(const std::string& url) {
        rtmptest::FfTool ffmpeg(
            server_.Folder(), "ffmpeg",
            {"-v", "error", "-rw_timeout", "5000000", "-skip_frame", "nokey", "-i", url,
             "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
        return ffmpeg.Finish(kToolMs) ? Bytes(ffmpeg.Read(".out")) : std::vector<uint8_t>();
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

::testing::AssertionResult ColourAt(const std::vector<uint8_t>& picture, int x, int y,
                                    const Yuv& want) {
    const int width = 320, height = 180;
    if (picture.size() < static_cast<size_t>(width * height * 3 / 2)) {
        return ::testing::AssertionFailure() << "no picture";
    }
    const uint8_t got[3] = {picture[y * width + x],
                            picture[width * height + (y / 2) * (width / 2) + x / 2],
                            picture[width * height * 5 / 4 + (y / 2) * (width / 2) + x / 2]};
    const uint8_t expected[3] = {want.y, want.u, want.v};
    for (int i = 0; i < 3; ++i) {
        if (std::abs(got[i] - expected[i]) > 12) {
            return ::testing::AssertionFailure() << "at " << x << "," << y << ": " << int(got[0])
                                                 << "," << int(got[1]) << "," << int(got[2]);
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(LiveOutputTest, ComposedStreamReachesEveryCdnAndAChangedListKeepsTheKeptStream) {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send("<cmd id=\"4100\" />"));
    ASSERT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"0\" /></cmd>"));
    const int types[] = {3, 3, 2, 1};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(host_.Send("<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID val=\"" +
                               std::to_string(7 + i) + "\" /><MediaType val=\"" +
                               std::to_string(types[i]) + "\" /><MediaID val=\"0\" /></cmd>"));
        ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4357\"><Result val=\"0\" />",
                         kAnswerMs, false));
    }
    HostMedia media(host_.Port());
    ASSERT_TRUE(media.Open());
    ASSERT_TRUE(media.StartThread());
    const std::string answer =
        "<cmd id=\"4359\"><Result val=\"0\" /><ContextID val=\"10001\" /></cmd>";
    // The second CDN's port is closed: its pusher retries, and the first plays all the same.
    const std::string dead =
        "rtmp://127.0.0.1:" + std::to_string(rtmptest::NginxServer::FreePort()) + "/live/dead";
    ASSERT_TRUE(host_.Send(SetOutParam({server_.Url("a"), dead})));
    ASSERT_TRUE(NextMessageIs(answer));

    const std::string streams =
        Probe({"-v", "error", "-rw_timeout", "5000000", "-show_entries",
               "stream=codec_type,codec_name,width,height,sample_rate,channels", server_.Url("a")});
    EXPECT_NE(streams.find("codec_name=h264"), std::string::npos) << streams;
    EXPECT_NE(streams.find("width=320\nheight=180"), std::string::npos) << streams;
    EXPECT_NE(streams.find("codec_name=aac"), std::string::npos) << streams;
    EXPECT_NE(streams.find("sample_rate=48000\nchannels=2"), std::string::npos) << streams;
    const std::vector<uint8_t> picture = Picture(server_.Url("a"));
    EXPECT_TRUE(ColourAt(picture, 80, 45, kRed));
    EXPECT_TRUE(ColourAt(picture, 240, 45, kGreen));
    EXPECT_TRUE(ColourAt(picture, 80, 135, kBlue));               // the H.264 input
    EXPECT_TRUE(ColourAt(picture, 240, 135, Yuv{16, 128, 128}));  // nothing there: black

    // While a player follows "a", the list becomes "a" and "b".
    rtmptest::FfTool follower(
        server_.Folder(), "ffprobe",
        {"-v", "error", "-rw_timeout", "5000000", "-read_intervals", "%+6", "-select_streams", "v",
         "-show_entries", "packet=pts_time", server_.Url("a")});
    ASSERT_TRUE(server_.WaitForLog("play: name='a'", kToolMs, 3));
    ASSERT_TRUE(host_.Send(SetOutParam({server_.Url("a"), server_.Url("b")})));
    ASSERT_TRUE(NextMessageIs(answer));
    EXPECT_TRUE(server_.WaitForLog("publish: name='b'", kToolMs));
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
