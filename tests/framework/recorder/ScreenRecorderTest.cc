// The screen recorder from the framework root against a real Xvfb: what lands in the file for a
// region, a window, a 16-bit screen and sound alone, through a pause, in both containers; the
// starts that must fail, leaving nothing behind; a long mute.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/ProcessRoot.h"
#include "framework/RefCountedObject.h"
#include "framework/recorder/RecordingOutput.h"
#include "interfaces/IComponentFactory.h"
#include "interfaces/IScreenRecorder.h"
#include "interfaces/QXIds.h"
#include "platform/TempFolder.h"
#include "tests/framework/recorder/RecorderSetup.h"
#include "tests/framework/recorder/XvfbServer.h"
#include "tests/media/push/MediaProbe.h"

namespace framework {
namespace {

using rectest::kRate;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kScreenRgb = 0x2060C0, kWindowRgb = 0xE0A030, kSixteenBitRgb = 0x10A050;
constexpr int kWindowLeft = 420, kWindowTop = 300;  // 160x120
// A path with characters of two, three and four UTF-8 bytes, in both forms.
constexpr char kSuffix8[] = "-\xC3\xBC\xE2\x82\xAC\xF0\x9D\x84\x9E";
constexpr char16_t kSuffix16[] = u"-\u00FC\u20AC\U0001D11E";

// The 320x240 region at (300, 200), which holds the window, at 25 fps.
const RecordParams kRegion = rectest::Params(25, 300, 200, 320, 240);

std::u16string Ascii16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// Starts with DISPLAY set to `display` (null: unset); the recorder reads it there.
HRESULT StartOn(const char* display, IScreenRecorder* recorder, const RecordParams& params,
                const std::u16string& path) {
    display != nullptr ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
    return recorder->Start(&params, path.c_str());
}

size_t Entries(const char* folder) {
    const std::filesystem::directory_iterator list(folder);
    return static_cast<size_t>(std::distance(begin(list), end(list)));
}

// A recording as ffprobe and ffmpeg see it: MediaProbe's view, and what it has no call for.
class RecordedFile : public rtmptest::MediaProbe {
  public:
    RecordedFile(const std::string& folder, const std::string& path)
        : MediaProbe(folder, path), folder_(folder), path_(path) {}

    double DurationMs() const {
        const std::string seconds =
            Run("ffprobe", {"-show_entries", "format=duration", "-of", "csv=p=0", path_});
        return seconds.empty() ? -1 : 1000 * std::atof(seconds.c_str());
    }
    // Whether the 11th picture shows `rgb` (0xRRGGBB) at (x, y).
    ::testing::AssertionResult Shows(uint32_t rgb, int x, int y) const {
        const std::string got = Run(
            "ffmpeg", {"-i", path_, "-vf",
                       "select=gte(n\\,10),crop=2:2:" + std::to_string(x) + ":" + std::to_string(y),
                       "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
        for (int i = 0; i < 3; ++i) {
            if (got.size() < 3 ||
                std::abs(uint8_t(got[i]) - int((rgb >> (16 - 8 * i)) & 0xFF)) > 12) {
                return ::testing::AssertionFailure()
                       << std::hex << "not " << rgb << " at " << x << "," << y;
            }
        }
        return ::testing::AssertionSuccess();
    }
    // The sound's main frequency (from its zero crossings) and level (RMS), away from the edges.
    std::pair<double, double> Tone() const {
        const std::string pcm = Run("ffmpeg", {"-i", path_, "-map", "0:a", "-ac", "1", "-ar",
                                               std::to_string(kRate), "-f", "s16le", "-"});
        const auto* s = reinterpret_cast<const int16_t*>(pcm.data());
        const size_t count = pcm.size() / 2;
        const size_t edge = kRate / 5;
        size_t rises = 0;
        double energy = 0;
        for (size_t i = edge; i + edge < count; ++i) {
            rises += s[i - 1] < 0 && s[i] >= 0 ? 1 : 0;
            energy += double(s[i]) * s[i];
        }
        const double used = count < 3 * edge ? 1e99 : double(count - 2 * edge);
        return {rises * double(kRate) / used, std::sqrt(energy / used)};
    }

  private:
    std::string Run(const std::string& program, std::vector<std::string> args) const {
        args.insert(args.begin(), {"-v", "error"});
        rtmptest::FfTool tool(folder_, program, std::move(args));
        return tool.Finish(kToolMs) && tool.ExitCode() == 0 ? tool.Read(".out") : std::string();
    }

    const std::string folder_;
    const std::string path_;
};

using Spot = std::tuple<uint32_t, int, int>;  // 0xRRGGBB at x, y

enum class Source { kRegion, kWindow, kSixteenBit, kNoDisplay };

struct Recording {
    const char* name;
    Source source;
    bool mp4;
    bool pause;  // for one second after 1.5 s
    int width, height;
    std::vector<Spot> spots;  // in the picture
};

// One recording by `recorder` as `c` says, and what its file holds.
void Record(const Recording& c, IScreenRecorder* recorder, const rectest::XvfbServer& screen,
            unsigned long window, const std::string& folder) {
    const bool video = c.source != Source::kNoDisplay;
    RecordParams params = kRegion;
    params.hasVideo = video ? 1 : 0;
    params.clipUponWnd = c.source == Source::kWindow ? 1 : 0;
    params.capWnd = static_cast<int32_t>(window);
    params.capWidth = c.source == Source::kSixteenBit ? 0 : params.capWidth;
    params.mp4 = c.mp4 ? 1 : 0;
    const std::string name = folder + "/" + c.name + (c.mp4 ? ".mp4" : ".flv");
    const std::string path = name + kSuffix8;
    const size_t threads = Entries("/proc/self/task");
    // Each call's time lies between the clock readings before and after it.
    Clock::time_point start[2], pause[2], resume[2], stop[2];
    start[0] = Clock::now();
    ASSERT_EQ(S_OK, StartOn(video ? screen.Name().c_str() : nullptr, recorder, params,
                            Ascii16(name) + kSuffix16));
    start[1] = Clock::now();
    {
        const rectest::ToneWriter tone(recorder);
        // The tone's writer and the capture thread; the encoders start none of their own.
        EXPECT_EQ(threads + (video ? 2 : 1), Entries("/proc/self/task"));
        // One recording at a time.
        EXPECT_EQ(REC_E_STARTED, recorder->Start(&params, Ascii16(folder + "/other.mp4").c_str()));
        EXPECT_FALSE(std::filesystem::exists(folder + "/other.mp4"));
        if (c.mp4 && !c.pause) {  // the file as a process killed now would leave it
            std::this_thread::sleep_until(start[1] + milliseconds(2500));
            std::filesystem::copy_file(path, path + ".cut");
        }
        if (c.pause) {
            std::this_thread::sleep_until(start[1] + milliseconds(1500));
            pause[0] = Clock::now();
            EXPECT_EQ(S_OK, recorder->SetPause(1));
            pause[1] = Clock::now();
            EXPECT_EQ(kRecorderPaused, recorder->GetState());
            std::this_thread::sleep_until(start[1] + milliseconds(2500));
            resume[0] = Clock::now();
            EXPECT_EQ(S_OK, recorder->SetPause(0));
            resume[1] = Clock::now();
        }
        std::this_thread::sleep_until(start[1] + milliseconds(c.pause ? 4000 : 3000));
        stop[0] = Clock::now();
        EXPECT_EQ(S_OK, recorder->Stop());
        stop[1] = Clock::now();
    }  // the tone's blocks after Stop are dropped
    EXPECT_EQ(kRecorderStopped, recorder->GetState());
    EXPECT_EQ(S_FALSE, recorder->Stop());
    const int16_t sample = 0;
    EXPECT_EQ(S_FALSE, recorder->WriteData(reinterpret_cast<const uint8_t*>(&sample), 2));
    // From Start to Stop, without the pause (about a second).
    const int32_t recordedMs = recorder->GetRecordTime();
    EXPECT_GE(recordedMs, (stop[0] - start[1] - (resume[1] - pause[0])) / milliseconds(1) - 1);
    EXPECT_LE(recordedMs, (stop[1] - start[0] - (resume[0] - pause[1])) / milliseconds(1) + 1);

    const RecordedFile file(folder, path);
    EXPECT_NEAR(file.DurationMs(), recordedMs, 100);
    auto picture = file.Stream("video");
    if (video) {
        EXPECT_EQ(picture["codec_name"] + " " + picture["width"] + "x" + picture["height"],
                  "h264 " + std::to_string(c.width) + "x" + std::to_string(c.height));
        for (const auto& [rgb, x, y] : c.spots) {
            EXPECT_TRUE(file.Shows(rgb, x, y));
        }
        // A frame every 40 ms, some late on a busy machine; a gap at the pause would be 1 s (-1
        // without two frames: the picture above is the 11th).
        EXPECT_LE(file.WidestGap("v"), 0.6);
    } else {
        EXPECT_TRUE(picture.empty());
    }
    if (c.mp4 && !c.pause) {  // whole fragments: a key frame every 2 s, or a second of sound
        const RecordedFile cut(folder, path + ".cut");
        EXPECT_GE(cut.DurationMs(), 1500);
        EXPECT_EQ(cut.Stream("audio")["codec_name"], "aac");
    }
    auto sound = file.Stream("audio");
    EXPECT_EQ(sound["codec_name"] + " " + sound["sample_rate"] + " " + sound["channels"],
              "aac " + std::to_string(kRate) + " 2");
    EXPECT_LE(file.WidestGap("a"), 1024.0 / kRate + 0.001);  // the tone below needs seconds
    const auto [hz, rms] = file.Tone();
    EXPECT_NEAR(hz, rectest::kToneHz, 5);
    EXPECT_GT(rms, 8000);  // a sine of amplitude 16000: 11300
}

// Starts that must fail leave nothing running or open. Then the region shows the screen at its
// top left and the window further in (away from the pointer in the screen's middle). A 16-bit
// screen (a server of its own, recorded whole) comes as rgb565, which takes the other converter.
// One recorder makes them all, one after another.
TEST(ScreenRecorderTest, RefusedStartsLeaveNothingAndRecordingsHoldThePictureAndTheTone) {
    const std::vector<Spot> region = {{kScreenRgb, 60, 20},
                                      {kWindowRgb, kWindowLeft - 300 + 80, kWindowTop - 200 + 60}};
    const Recording recordings[] = {
        {"RegionMp4", Source::kRegion, true, false, 320, 240, region},
        {"RegionFlv", Source::kRegion, false, false, 320, 240, region},
        {"RegionPausedMp4", Source::kRegion, true, true, 320, 240, region},
        {"WindowFlv", Source::kWindow, false, false, 160, 120, {{kWindowRgb, 80, 60}}},
        {"SixteenBitMp4", Source::kSixteenBit, true, false, 320, 240, {{kSixteenBitRgb, 40, 40}}},
        {"SoundOnlyWithoutDisplayMp4", Source::kNoDisplay, true, false, 0, 0, {}},
    };
    static const platform::TempFolder logs("sc-rec-log");  // the root logs there till exit
    ProcessRoot::Instance().Init(0, "", (logs.Path() + "/").c_str());
    const platform::TempFolder temp("sc-rec");
    rectest::XvfbServer xvfb(640, 480), sixteenBit(320, 240, 16);
    ASSERT_TRUE(xvfb.Ready() && sixteenBit.Ready()) << "Xvfb did not start";
    xvfb.PaintRoot(kScreenRgb);
    const unsigned long window = xvfb.AddWindow(kWindowLeft, kWindowTop, 160, 120, kWindowRgb);
    sixteenBit.PaintRoot(kSixteenBitRgb);
    IUnknown* root = nullptr;  // the recorder as the framework's root makes it
    void* made = nullptr;
    ASSERT_EQ(S_OK, ProcessRoot::Instance().Create(&CLSID_ComponentFactory, &root));
    static_cast<IComponentFactory*>(root)->CreateComponent(CLSID_ScreenRecorder,
                                                           IID_IScreenRecorder, nullptr, &made);
    root->Release();
    RefPtr<IScreenRecorder> recorder(static_cast<IScreenRecorder*>(made));
    ASSERT_NE(recorder, nullptr);
    std::thread([] {}).join();  // a sanitizer starts a thread of its own with the process's first
    using Change = std::function<void(RecordParams&, std::u16string&)>;
    struct Case {
        const char* name;
        Change change;
        HRESULT expected;
        bool noDisplay = false;
    };
    const std::u16string missing = Ascii16(temp.Path() + "/missing/rec.mp4");
    const std::u16string folder = Ascii16(temp.Path());
    const Case cases[] = {
        {"folder missing", [&](auto&, auto& path) { path = missing; }, REC_E_FILE},
        {"folder not writable", [](auto&, auto& path) { path = u"/sys/rec.mp4"; }, REC_E_FILE},
        {"path names a folder", [&](auto&, auto& path) { path = folder; }, REC_E_FILE},
        {"path empty", [](auto&, auto& path) { path.clear(); }, REC_E_BAD_PARAM},
        {"path of 300 units", [](auto&, auto& path) { path.assign(300, u'a'); }, REC_E_BAD_PARAM},
        {"lone surrogate in the path", [](auto&, auto& path) { path += u'\xD800'; },
         REC_E_BAD_PARAM},
        {"frame rate 0", [](auto& p, auto&) { p.videoFrameRate = 0; }, REC_E_BAD_PARAM},
        {"frame rate 1000", [](auto& p, auto&) { p.videoFrameRate = 1000; }, REC_E_BAD_PARAM},
        {"region right of the screen", [](auto& p, auto&) { p.capLeft = 400; }, REC_E_CAPTURE},
        {"region above the screen", [](auto& p, auto&) { p.capTop = -10; }, REC_E_CAPTURE},
        {"no window 0x7fffff", [](auto& p, auto&) { p.clipUponWnd = 1; }, REC_E_CAPTURE},
        {"sample rate 0", [](auto& p, auto&) { p.audioSampleRate = 0; }, REC_E_BAD_PARAM},
        {"three channels", [](auto& p, auto&) { p.audioChannels = 3; }, REC_E_BAD_PARAM},
        {"bits per sample 7", [](auto& p, auto&) { p.bitsPerSample = 7; }, REC_E_BAD_PARAM},
        {"nothing to record", [](auto& p, auto&) { p.hasVideo = p.hasAudio = 0; }, REC_E_BAD_PARAM},
        {"no display", [](auto&, auto&) {}, REC_E_CAPTURE, true},
    };
    const std::string target = temp.Path() + "/refused.mp4";
    // Once before counting: the first log line opens the log file, the encoder's first threads
    // start a sanitizer's own.
    EXPECT_EQ(REC_E_FILE, StartOn(xvfb.Name().c_str(), recorder.get(), kRegion, missing));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordParams params = kRegion;
        params.capWnd = 0x7fffff;  // no such window, for the case that asks for one
        std::u16string path = Ascii16(target);
        c.change(params, path);
        const size_t threads = Entries("/proc/self/task");
        const size_t files = Entries("/proc/self/fd");
        EXPECT_EQ(c.expected, StartOn(c.noDisplay ? nullptr : xvfb.Name().c_str(), recorder.get(),
                                      params, path));
        EXPECT_EQ(kRecorderIdle, recorder->GetState());
        EXPECT_EQ(threads, Entries("/proc/self/task"));
        EXPECT_EQ(files, Entries("/proc/self/fd"));
        EXPECT_FALSE(std::filesystem::exists(target));
    }
    for (const Recording& c : recordings) {
        SCOPED_TRACE(c.name);
        const bool own = c.source == Source::kSixteenBit;
        Record(c, recorder.get(), own ? sixteenBit : xvfb, window, temp.Path());
    }
    // The last reference stops a recording going on and finishes its file.
    const std::string released = temp.Path() + "/released.mp4";
    RecordParams params = kRegion;
    params.hasVideo = 0;
    ASSERT_EQ(S_OK, StartOn(nullptr, recorder.get(), params, Ascii16(released)));
    const std::vector<uint8_t> block(4 * kRate / 100);  // 10 ms
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(S_OK, recorder->WriteData(block.data(), static_cast<int32_t>(block.size())));
    }
    EXPECT_EQ(0u, recorder.release()->Release());
    EXPECT_FALSE(RecordedFile(temp.Path(), released).Packets("a").empty());  // 100 ms: no fragment
}

// Ten muted minutes in the host's sound, at the recording clock's values: the sound's timestamps
// jump over them instead of some 28,000 frames of silence being encoded in one go (while the
// capture thread waited to write its pictures), and the sound after them keeps its place.
TEST(RecordingOutputTest, TenMutedMinutesAreJumpedOverNotEncoded) {
    constexpr int64_t kGapUs = 600000000;
    const platform::TempFolder temp("sc-rec-gap");
    RecordParams params = rectest::Params(25);
    params.hasVideo = 0;
    RecordSettings settings;
    std::string why;
    ASSERT_EQ(S_OK, RecordSettings::Read(params, Ascii16(temp.Path() + "/gap.mp4").c_str(),
                                         &settings, &why));
    RecordingOutput output(ModuleLog{});
    ASSERT_EQ(S_OK, output.Open(settings, VideoFormat{}, &why)) << why;
    const std::vector<int16_t> block(2 * kRate / 100, 1000);  // 10 ms
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    const auto length = static_cast<int32_t>(block.size() * sizeof(int16_t));
    for (int64_t i = 1; i <= 200; ++i) {  // a second of sound, ten minutes muted, a second
        const int64_t clockUs = i * 10000 + (i > 100 ? kGapUs : 0);
        EXPECT_TRUE(output.WriteAudio(bytes, length, clockUs)) << clockUs;
    }
    ASSERT_TRUE(output.Finish(2000000 + kGapUs));
    const auto packets = rtmptest::MediaProbe(temp.Path(), settings.path).Packets();
    // Two seconds of sound are 94 frames of 1024 samples.
    EXPECT_LT(packets.size(), 200u);
    ASSERT_FALSE(packets.empty());
    EXPECT_NEAR(std::atof(packets.back().at("pts_time").c_str()),
                (2000000 + kGapUs) / 1e6 - 1024.0 / kRate, 0.05);
}

}  // namespace
}  // namespace framework
