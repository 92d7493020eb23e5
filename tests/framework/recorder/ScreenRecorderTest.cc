// The screen recorder made through the framework root, against a real X server (Xvfb, a
// coloured screen and a window of our own): what lands in the file (streams, the picture's
// colour, the tone, the duration, continuous timestamps) for a region, a window and sound
// alone, through a pause, in both containers; and the starts that must fail, each leaving
// nothing running or open.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/ProcessRoot.h"
#include "framework/RefCountedObject.h"
#include "framework/recorder/RecordingOutput.h"
#include "interfaces/IComponentFactory.h"
#include "interfaces/IScreenRecorder.h"
#include "interfaces/QXIds.h"
#include "platform/TempFolder.h"
#include "tests/framework/recorder/XvfbServer.h"
#include "tests/media/push/FfTool.h"

namespace framework {
namespace {

using rtmptest::Fields;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kScreenRgb = 0x2060C0;
constexpr uint32_t kWindowRgb = 0xE0A030;
constexpr int kWindowLeft = 420;  // 160x120
constexpr int kWindowTop = 300;
constexpr int kToneHz = 440;
constexpr int32_t kRate = 48000;
constexpr int32_t kBlockSamples = kRate / 100;
// A path with characters of two, three and four UTF-8 bytes, in both forms.
constexpr char kSuffix8[] = "-\xC3\xBC\xE2\x82\xAC\xF0\x9D\x84\x9E";
constexpr char16_t kSuffix16[] = u"-\u00FC\u20AC\U0001D11E";

using RecorderPtr = RefPtr<IScreenRecorder>;

RecorderPtr MakeRecorder() {
    IUnknown* root = nullptr;
    void* made = nullptr;
    if (ProcessRoot::Instance().Create(&CLSID_ComponentFactory, &root) == S_OK) {
        static_cast<IComponentFactory*>(root)->CreateComponent(CLSID_ScreenRecorder,
                                                               IID_IScreenRecorder, nullptr, &made);
        root->Release();
    }
    return RecorderPtr(static_cast<IScreenRecorder*>(made));
}

// 25 fps of the 320x240 region at (300, 200), which holds the window, with 48 kHz stereo sound,
// into fragmented MP4.
RecordParams Params() {
    RecordParams p{};
    p.size = sizeof(RecordParams);
    p.hasVideo = 1;
    p.capLeft = 300;
    p.capTop = 200;
    p.capWidth = 320;
    p.capHeight = 240;
    p.videoFrameRate = 25;
    p.hasAudio = 1;
    p.audioSampleRate = kRate;
    p.audioChannels = 2;
    p.bitsPerSample = 16;
    p.mp4 = 1;
    return p;
}

std::u16string Ascii16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// DISPLAY set to `value` (null: unset) for the object's life.
class ScopedDisplay {
  public:
    explicit ScopedDisplay(const char* value) {
        const char* now = std::getenv("DISPLAY");
        saved_ = now != nullptr ? now : "";
        value != nullptr ? setenv("DISPLAY", value, 1) : unsetenv("DISPLAY");
    }
    ~ScopedDisplay() {
        saved_.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", saved_.c_str(), 1);
    }

  private:
    std::string saved_;
};

// A 440 Hz tone in 10 ms stereo blocks handed to WriteData at the pace of the clock, as the
// host's ring reader does, until the object goes.
class ToneWriter {
  public:
    explicit ToneWriter(IScreenRecorder* recorder) : thread_([this, recorder] { Run(recorder); }) {}
    ~ToneWriter() {
        stop_ = true;
        thread_.join();
    }

  private:
    void Run(IScreenRecorder* recorder) {
        std::vector<int16_t> block(2 * kBlockSamples);
        Clock::time_point due = Clock::now();
        for (int64_t n = 0; !stop_;) {
            for (int32_t i = 0; i < kBlockSamples; ++i, ++n) {
                const double phase = 2 * M_PI * kToneHz * static_cast<double>(n) / kRate;
                block[2 * i] = block[2 * i + 1] = static_cast<int16_t>(16000 * std::sin(phase));
            }
            recorder->WriteData(reinterpret_cast<const uint8_t*>(block.data()),
                                static_cast<int32_t>(block.size() * sizeof(int16_t)));
            due += milliseconds(10);
            std::this_thread::sleep_until(due);
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// ffprobe and ffmpeg on one file.
class MediaFile {
  public:
    MediaFile(const std::string& folder, const std::string& path) : folder_(folder), path_(path) {}

    std::string Run(const std::string& program, std::vector<std::string> args) const {
        rtmptest::FfTool tool(folder_, program, std::move(args));
        return tool.Finish(60000) && tool.ExitCode() == 0 ? tool.Read(".out") : std::string();
    }
    Fields Stream(const std::string& type) const {
        for (const Fields& s : Sections("STREAM")) {
            if (s.count("codec_type") != 0 && s.at("codec_type") == type) {
                return s;
            }
        }
        return {};
    }
    double DurationMs() const {
        auto format = Sections("FORMAT");
        return format.empty() ? -1 : 1000 * std::atof(format[0]["duration"].c_str());
    }
    // The timestamps of one stream's packets ("v" or "a"), in seconds, in order.
    std::vector<double> PacketTimes(const std::string& stream) const {
        std::istringstream lines(
            Run("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries",
                            "packet=pts_time", "-of", "csv=p=0", path_}));
        std::vector<double> times;
        for (std::string line; std::getline(lines, line);) {
            times.push_back(std::atof(line.c_str()));
        }
        std::sort(times.begin(), times.end());
        return times;
    }
    // The largest step between the timestamps of one stream's packets, in ms.
    double LargestStepMs(const std::string& stream) const {
        const std::vector<double> times = PacketTimes(stream);
        double largest = times.size() < 2 ? 1e9 : 0;
        for (size_t i = 1; i < times.size(); ++i) {
            largest = std::max(largest, 1000 * (times[i] - times[i - 1]));
        }
        return largest;
    }
    // Whether the 11th picture shows `rgb` (0xRRGGBB) at (x, y).
    ::testing::AssertionResult Shows(uint32_t rgb, int x, int y) const {
        const std::string got = Run(
            "ffmpeg", {"-v", "error", "-i", path_, "-vf",
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
    void Tone(double* hz, double* rms) const {
        const std::string pcm =
            Run("ffmpeg", {"-v", "error", "-i", path_, "-map", "0:a", "-ac", "1", "-ar",
                           std::to_string(kRate), "-f", "s16le", "-"});
        const auto* s = reinterpret_cast<const int16_t*>(pcm.data());
        const size_t count = pcm.size() / 2;
        const size_t edge = kRate / 5;
        *hz = *rms = 0;
        if (count < 3 * edge) {
            return;
        }
        size_t rises = 0;
        double energy = 0;
        for (size_t i = edge; i < count - edge; ++i) {
            rises += s[i - 1] < 0 && s[i] >= 0 ? 1 : 0;
            energy += double(s[i]) * s[i];
        }
        *hz = rises * double(kRate) / double(count - 2 * edge);
        *rms = std::sqrt(energy / double(count - 2 * edge));
    }

  private:
    std::vector<Fields> Sections(const char* section) const {
        return rtmptest::Sections(
            Run("ffprobe", {"-v", "error", "-show_streams", "-show_format", path_}), section);
    }

    const std::string folder_;
    const std::string path_;
};

struct Spot {
    uint32_t rgb;
    int x;
    int y;
};

size_t Entries(const char* folder) {
    const std::filesystem::directory_iterator list(folder);
    return static_cast<size_t>(std::distance(begin(list), end(list)));
}

class ScreenRecorderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static const platform::TempFolder logs("sc-rec-log");  // the root logs there till exit
        ProcessRoot::Instance().Init(0, "", (logs.Path() + "/").c_str());
        xvfb_ = new rectest::XvfbServer(640, 480);
        if (xvfb_->Ready()) {
            setenv("DISPLAY", xvfb_->Name().c_str(), 1);
            xvfb_->PaintRoot(kScreenRgb);
            window_ = xvfb_->AddWindow(kWindowLeft, kWindowTop, 160, 120, kWindowRgb);
        }
    }
    static void TearDownTestSuite() { delete xvfb_; }
    void SetUp() override { ASSERT_TRUE(xvfb_->Ready()) << "Xvfb did not start"; }

    static inline rectest::XvfbServer* xvfb_ = nullptr;
    static inline unsigned long window_ = 0;
    platform::TempFolder temp_{"sc-rec"};
};

struct Recording {
    const char* name;
    bool video;
    bool window;
    bool mp4;
    bool pause;  // for one second after 1.5 s
    int width;
    int height;
    std::vector<Spot> spots;  // in the picture
};

void PrintTo(const Recording& recording, std::ostream* out) {
    *out << recording.name;
}

// The region shows the screen at its top left and the window further in (away from the
// pointer in the screen's middle).
const std::vector<Spot> kRegionSpots = {
    {kScreenRgb, 60, 20}, {kWindowRgb, kWindowLeft - 300 + 80, kWindowTop - 200 + 60}};
const Recording kRecordings[] = {
    {"RegionMp4", true, false, true, false, 320, 240, kRegionSpots},
    {"RegionFlv", true, false, false, false, 320, 240, kRegionSpots},
    {"RegionPausedMp4", true, false, true, true, 320, 240, kRegionSpots},
    {"WindowFlv", true, true, false, false, 160, 120, {{kWindowRgb, 80, 60}}},
    {"SoundOnlyWithoutDisplayMp4", false, false, true, false, 0, 0, {}},
};

class ScreenRecordingTest : public ScreenRecorderTest,
                            public ::testing::WithParamInterface<Recording> {};

INSTANTIATE_TEST_SUITE_P(, ScreenRecordingTest, ::testing::ValuesIn(kRecordings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(ScreenRecordingTest, RecordsThePictureAndTheToneForAsLongAsItSays) {
    const Recording& c = GetParam();
    const ScopedDisplay display(c.video ? std::getenv("DISPLAY") : nullptr);
    RecordParams params = Params();
    params.hasVideo = c.video ? 1 : 0;
    params.clipUponWnd = c.window ? 1 : 0;
    params.capWnd = static_cast<int32_t>(window_);
    params.mp4 = c.mp4 ? 1 : 0;
    const std::string name = temp_.Path() + "/" + c.name + (c.mp4 ? ".mp4" : ".flv");
    const std::string path = name + kSuffix8;
    const RecorderPtr recorder = MakeRecorder();
    ASSERT_NE(recorder, nullptr);
    std::thread([] {}).join();  // a sanitizer starts a thread of its own with the process's first
    const size_t threads = Entries("/proc/self/task");
    // Each call's time lies between the clock readings before and after it.
    Clock::time_point start[2];
    Clock::time_point pause[2];
    Clock::time_point resume[2];
    Clock::time_point stop[2];
    start[0] = Clock::now();
    ASSERT_EQ(S_OK, recorder->Start(&params, (Ascii16(name) + kSuffix16).c_str()));
    start[1] = Clock::now();
    {
        const ToneWriter tone(recorder.get());
        // The tone's writer and the capture thread; the encoders start none of their own.
        EXPECT_EQ(threads + (c.video ? 2 : 1), Entries("/proc/self/task"));
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
    // From Start to Stop, without the pause (about a second).
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration_cast<milliseconds>(d).count();
    };
    const int32_t recordedMs = recorder->GetRecordTime();
    EXPECT_GE(recordedMs, ms(stop[0] - start[1] - (resume[1] - pause[0])) - 1);
    EXPECT_LE(recordedMs, ms(stop[1] - start[0] - (resume[0] - pause[1])) + 1);

    const MediaFile file(temp_.Path(), path);
    EXPECT_NEAR(file.DurationMs(), recordedMs, 100);
    Fields video = file.Stream("video");
    if (c.video) {
        EXPECT_EQ(video["codec_name"], "h264");
        EXPECT_EQ(rtmptest::ToInt(video, "width"), c.width);
        EXPECT_EQ(rtmptest::ToInt(video, "height"), c.height);
        for (const Spot& spot : c.spots) {
            EXPECT_TRUE(file.Shows(spot.rgb, spot.x, spot.y));
        }
        // A frame every 40 ms, some late on a busy machine; a gap at the pause would be 1 s.
        EXPECT_LE(file.LargestStepMs("v"), 600);
    } else {
        EXPECT_TRUE(video.empty());
    }
    if (c.mp4 && !c.pause) {  // whole fragments: a key frame every 2 s, or a second of sound
        const MediaFile cut(temp_.Path(), path + ".cut");
        EXPECT_GE(cut.DurationMs(), 1500);
        EXPECT_EQ(cut.Stream("audio")["codec_name"], "aac");
    }
    Fields audio = file.Stream("audio");
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(rtmptest::ToInt(audio, "sample_rate"), kRate);
    EXPECT_EQ(rtmptest::ToInt(audio, "channels"), 2);
    EXPECT_LE(file.LargestStepMs("a"), 1024 * 1000.0 / kRate + 1);
    double hz = 0;
    double rms = 0;
    file.Tone(&hz, &rms);
    EXPECT_NEAR(hz, kToneHz, 5);
    EXPECT_GT(rms, 8000);  // a sine of amplitude 16000: 11300
}

// A 16-bit screen comes as rgb565, which takes the other converter.
TEST_F(ScreenRecorderTest, RecordsAScreenOfSixteenBitColour) {
    rectest::XvfbServer xvfb(320, 240, 16);
    ASSERT_TRUE(xvfb.Ready());
    xvfb.PaintRoot(0x10A050);
    RecordParams params = Params();
    params.capWidth = 0;  // the whole screen
    params.hasAudio = 0;
    const std::string path = temp_.Path() + "/sixteen.mp4";
    RecorderPtr recorder = MakeRecorder();
    ASSERT_NE(recorder, nullptr);
    {
        const ScopedDisplay display(xvfb.Name().c_str());
        ASSERT_EQ(S_OK, recorder->Start(&params, Ascii16(path).c_str()));
    }
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(S_OK, recorder->Stop());
    const MediaFile file(temp_.Path(), path);
    EXPECT_EQ(rtmptest::ToInt(file.Stream("video"), "width"), 320);
    EXPECT_TRUE(file.Shows(0x10A050, 40, 40));
}

TEST_F(ScreenRecorderTest, RefusedStartsLeaveNothingRunningOrOpen) {
    using Change = std::function<void(RecordParams&, std::u16string&)>;
    struct Case {
        const char* name;
        Change change;
        HRESULT expected;
        bool noDisplay = false;
    };
    const std::u16string missing = Ascii16(temp_.Path() + "/missing/rec.mp4");
    const std::u16string folder = Ascii16(temp_.Path());
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
        {"no window 0x7fffff",
         [](auto& p, auto&) {
             p.clipUponWnd = 1;
             p.capWnd = 0x7fffff;
         },
         REC_E_CAPTURE},
        {"sample rate 0", [](auto& p, auto&) { p.audioSampleRate = 0; }, REC_E_BAD_PARAM},
        {"three channels", [](auto& p, auto&) { p.audioChannels = 3; }, REC_E_BAD_PARAM},
        {"bits per sample 7", [](auto& p, auto&) { p.bitsPerSample = 7; }, REC_E_BAD_PARAM},
        {"neither picture nor sound", [](auto& p, auto&) { p.hasVideo = p.hasAudio = 0; },
         REC_E_BAD_PARAM},
        {"no display", [](auto&, auto&) {}, REC_E_CAPTURE, true},
    };
    const RecorderPtr recorder = MakeRecorder();
    ASSERT_NE(recorder, nullptr);
    const std::string target = temp_.Path() + "/refused.mp4";
    // Once before counting: the first log line opens the log file, the encoder's first threads
    // start a sanitizer's own.
    const RecordParams warmUp = Params();
    EXPECT_EQ(REC_E_FILE, recorder->Start(&warmUp, missing.c_str()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordParams params = Params();
        std::u16string path = Ascii16(target);
        c.change(params, path);
        const ScopedDisplay display(c.noDisplay ? nullptr : std::getenv("DISPLAY"));
        const size_t threads = Entries("/proc/self/task");
        const size_t files = Entries("/proc/self/fd");
        EXPECT_EQ(c.expected, recorder->Start(&params, path.c_str()));
        EXPECT_EQ(kRecorderIdle, recorder->GetState());
        EXPECT_EQ(threads, Entries("/proc/self/task"));
        EXPECT_EQ(files, Entries("/proc/self/fd"));
        EXPECT_FALSE(std::filesystem::exists(target));
    }
}

TEST_F(ScreenRecorderTest, OneRecordingAtATimeAndTheLastReleaseFinishesIt) {
    RecordParams params = Params();
    params.hasVideo = 0;
    const std::string first = temp_.Path() + "/first.flv";
    const std::string second = temp_.Path() + "/second.mp4";
    RecorderPtr recorder = MakeRecorder();
    ASSERT_NE(recorder, nullptr);
    const std::vector<uint8_t> block(4 * kBlockSamples);
    params.mp4 = 0;
    ASSERT_EQ(S_OK, recorder->Start(&params, Ascii16(first).c_str()));
    EXPECT_EQ(REC_E_STARTED, recorder->Start(&params, Ascii16(second).c_str()));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_EQ(S_OK, recorder->WriteData(block.data(), static_cast<int32_t>(block.size())));
    EXPECT_EQ(S_OK, recorder->Stop());
    EXPECT_EQ(S_FALSE, recorder->WriteData(block.data(), static_cast<int32_t>(block.size())));
    EXPECT_EQ(S_FALSE, recorder->Stop());

    params.mp4 = 1;
    ASSERT_EQ(S_OK, recorder->Start(&params, Ascii16(second).c_str()));  // after Stop: again
    EXPECT_EQ(kRecorderRecording, recorder->GetState());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(S_OK, recorder->WriteData(block.data(), static_cast<int32_t>(block.size())));
    }
    EXPECT_EQ(0u, recorder.release()->Release());  // the last reference: stops, finishes the file
    for (const std::string& path : {first, second}) {
        const MediaFile file(temp_.Path(), path);
        EXPECT_EQ(file.Stream("audio")["codec_name"], "aac") << path;
        EXPECT_GT(file.DurationMs(), 0) << path;
    }
}

// Ten muted minutes in the host's sound, at the recording clock's values: the sound's timestamps
// jump over them instead of some 28,000 frames of silence being encoded in one go (while the
// capture thread waited to write its pictures), and the sound after them keeps its place.
TEST(RecordingOutputTest, TenMutedMinutesAreJumpedOverNotEncoded) {
    constexpr int64_t kGapUs = 600000000;
    const platform::TempFolder temp("sc-rec-gap");
    RecordSettings settings;
    settings.audio = true;
    settings.sampleRate = kRate;
    settings.channels = 2;
    settings.audioBitrate = RecordSettings::kDefaultAudioBitrate;
    settings.mp4 = true;
    settings.path = temp.Path() + "/gap.mp4";
    RecordingOutput output(ModuleLog{});
    std::string why;
    ASSERT_EQ(S_OK, output.Open(settings, VideoFormat{}, &why)) << why;
    const std::vector<int16_t> block(2 * kBlockSamples, 1000);
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    const auto length = static_cast<int32_t>(block.size() * sizeof(int16_t));
    for (int64_t i = 1; i <= 200; ++i) {  // a second of sound, ten minutes muted, a second
        const int64_t clockUs = i * 10000 + (i > 100 ? kGapUs : 0);
        EXPECT_TRUE(output.WriteAudio(bytes, length, clockUs)) << clockUs;
    }
    ASSERT_TRUE(output.Finish(2000000 + kGapUs));
    const std::vector<double> times = MediaFile(temp.Path(), settings.path).PacketTimes("a");
    // Two seconds of sound are 94 frames of 1024 samples.
    EXPECT_LT(times.size(), 200u);
    ASSERT_FALSE(times.empty());
    EXPECT_NEAR(times.back(), (2000000 + kGapUs) / 1e6 - 1024.0 / kRate, 0.05);
}

}  // namespace
}  // namespace framework
