// The context's sound on its way to the live push: its conversion, its clock, PCM gathered into
// coder frames (on a fake coder), and the output's audio path to stamped AAC frames, decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "codec/AudioClock.h"
#include "host/ToneGenerator.h"
#include "media/audio/AacEncoder.h"
#include "media/audio/AudioResample.h"
#include "media/output/OutputAudio.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"

namespace streammanager {
namespace {

WaveFormat Pcm(uint32_t rate, uint16_t channels) {
    return WaveFormat{1, channels, rate, rate * 2 * channels, uint16_t(2 * channels), 16, 0};
}

// A second of a 1 kHz sine of amplitude 10000 as 16-bit PCM.
std::vector<uint8_t> Tone(const WaveFormat& format) {
    std::vector<uint8_t> second;
    qxhost::ToneGenerator({format.samplesPerSec, format.channels, 1000, 1, 10000})
        .NextBlock(&second);
    return second;
}

struct ToneFit {
    double amplitude = 0, residualRms = 0, residualMax = 0;
};

// Fits a·sin + b·cos + c of 1 kHz to one channel of 48 kHz stereo, whole periods from `first` on.
ToneFit FitTone(const std::vector<int16_t>& samples, uint32_t channel, size_t first) {
    const size_t count = (samples.size() / 2 - first) / 48 * 48;
    auto x = [&](size_t i) { return static_cast<double>(samples[i * 2 + channel]); };
    auto phase = [](size_t i) { return 2 * M_PI * static_cast<double>(i) / 48; };
    double a = 0, b = 0, c = 0;
    for (size_t i = first; i < first + count; ++i) {
        a += 2 * x(i) * std::sin(phase(i)) / count;
        b += 2 * x(i) * std::cos(phase(i)) / count;
        c += x(i) / count;
    }
    ToneFit fit;
    fit.amplitude = std::hypot(a, b);
    for (size_t i = first; i < first + count; ++i) {
        const double residual = x(i) - a * std::sin(phase(i)) - b * std::cos(phase(i)) - c;
        fit.residualRms += residual * residual / count;
        fit.residualMax = std::max(fit.residualMax, std::fabs(residual));
    }
    fit.residualRms = std::sqrt(fit.residualRms);
    return fit;
}

// Every context rate becomes 48 kHz stereo of the same length, less what the filter holds (16
// source samples at most), the tone at its level in both channels and within a few steps of the
// sine (a resampler restarted per block leaves a step at block edges). A part frame at a block's
// end fails the call, its whole frames converted; a block that would not fit, or a format that is
// not 16-bit PCM mono or stereo, is refused, nothing written or consumed.
TEST(AudioResample, EveryContextRateGivesTheToneCleanAt48kHzStereoAndTheRestIsRefused) {
    // 8-bit, float, a block that is not one frame, no channels, no rate, six channels.
    for (const WaveFormat& format :
         {WaveFormat{1, 1, 16000, 16000, 1, 8, 0}, WaveFormat{3, 2, 48000, 192000, 4, 16, 0},
          WaveFormat{1, 1, 16000, 32000, 4, 16, 0}, Pcm(16000, 0), Pcm(0, 1), Pcm(16000, 6)}) {
        AudioResample resample(format);
        EXPECT_EQ(0, resample.Open());
        uint8_t source[64] = {}, dest[4096];
        uint32_t destLength = sizeof(dest);
        EXPECT_EQ(0, resample.Convert(source, sizeof(source), dest, &destLength));
        EXPECT_EQ(sizeof(dest), destLength);
    }
    struct Case {
        uint32_t rate;
        uint16_t channels;
        uint32_t blockFrames, extraBytes;
    };
    std::vector<Case> cases = {{16000, 1, 77, 0}, {44100, 2, 101, 0}, {16000, 2, 160, 3}};
    for (uint32_t rate : {8000u, 16000u, 32000u, 44100u, 48000u}) {
        for (uint16_t channels : {1, 2}) {
            cases.push_back({rate, channels, rate / 100, 0});
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channel(s), blocks "
                                        << c.blockFrames << " frames + " << c.extraBytes << " B");
        AudioResample resample(Pcm(c.rate, c.channels));
        ASSERT_EQ(1, resample.Open());
        const std::vector<uint8_t> source = Tone(Pcm(c.rate, c.channels));
        std::vector<uint8_t> dest(4096, 0xAB);
        uint32_t destLength = 4096;
        EXPECT_EQ(0, resample.Convert(source.data(), static_cast<uint32_t>(source.size()),
                                      dest.data(), &destLength));
        EXPECT_EQ(std::make_pair(4096u, std::vector<uint8_t>(4096, 0xAB)),
                  std::make_pair(destLength, dest));
        std::vector<int16_t> out;
        const uint32_t block = c.blockFrames * 2 * c.channels;
        for (size_t offset = 0; offset + block + c.extraBytes <= source.size(); offset += block) {
            destLength = 4096;
            EXPECT_EQ(c.extraBytes == 0 ? 1 : 0,
                      resample.Convert(source.data() + offset, block + c.extraBytes, dest.data(),
                                       &destLength));
            out.insert(out.end(), reinterpret_cast<int16_t*>(dest.data()),
                       reinterpret_cast<int16_t*>(dest.data() + destLength));
        }
        const double expected =
            static_cast<double>((source.size() - c.extraBytes) / block * c.blockFrames) * 48000 /
            c.rate;
        EXPECT_LE(out.size() / 2, std::ceil(expected));
        EXPECT_GE(out.size() / 2, expected - (16.0 * 48000 / c.rate + 1));
        for (uint32_t channel = 0; channel < 2; ++channel) {
            const ToneFit fit = FitTone(out, channel, 256);
            EXPECT_NEAR(10000, fit.amplitude, 10000 * 0.002) << "channel " << channel;
            EXPECT_LT(fit.residualMax, 10.0) << "channel " << channel;
        }
    }
}

// Hosts as they are, blocks arriving as they end; no block stretched or squeezed beyond the bound.
TEST(AudioClock, KeepsTheCountWithinAFewMsOfArrivalWithoutAJump) {
    constexpr int32_t kRate = 48000;
    const struct {
        const char* name;
        double speed;                // the host's sound clock against ours (1.0005: 0.05 % fast)
        int blockMinMs, blockMaxMs;  // block lengths, drawn evenly between these
        int lateMaxMs;               // each block arrives up to this late, drawn evenly
        int seconds;
    } hosts[] = {
        {"steady 20 ms blocks", 1.0, 20, 20, 0, 60},
        {"sound clock 0.05 % fast", 1.0005, 20, 20, 0, 600},
        {"sound clock 0.05 % slow", 0.9995, 20, 20, 0, 600},
        {"uneven 10-40 ms blocks up to 5 ms late", 1.0, 10, 40, 5, 600},
        {"0.05 % fast, uneven and late", 1.0005, 10, 40, 5, 600},
    };
    for (const auto& host : hosts) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> blockMs(host.blockMinMs, host.blockMaxMs);
        std::uniform_int_distribution<int> lateUs(0, host.lateMaxMs * 1000);
        codec::AudioClock clock(kRate);
        const int64_t startUs = 1000000000;
        int64_t hostSamples = 0;  // what the host has written, on its own clock
        double worstErrorMs = 0, worstStretch = 0;
        while (hostSamples < int64_t{host.seconds} * kRate) {
            const int64_t samples = blockMs(random) * kRate / 1000;
            hostSamples += samples;
            // The block ends when the host's clock has made its last sample.
            const int64_t endUs =
                startUs + static_cast<int64_t>(hostSamples * 1e6 / kRate / host.speed);
            const int64_t arrivalUs = endUs + lateUs(random);
            const codec::AudioClock::Placement placement = clock.Place(arrivalUs, samples);
            ASSERT_FALSE(placement.drop) << host.name;
            worstStretch = std::max(
                worstStretch, std::abs(static_cast<double>(placement.samples - samples)) / samples);
            clock.Count(placement.samples);
            if (hostSamples > 10 * kRate) {  // settled
                const double errorMs = (endUs - clock.TimeOfSample(clock.Position())) / 1000.0;
                worstErrorMs = std::max(worstErrorMs, std::abs(errorMs));
            }
        }
        EXPECT_LT(worstErrorMs, 5.0) << host.name;
        // One sample of rounding on a short block above the bound at most.
        EXPECT_LE(worstStretch, codec::AudioClock::kMaxCorrection + 1.0 / 480) << host.name;
    }
}

// Takes frames of 2048 samples and gives 100 bytes for each, or fails when told to.
class FakeAacCodec : public AacCodec {
  public:
    bool Open(const AacSettings&, uint32_t* inputSamples, uint32_t* maxOutputBytes) override {
        *inputSamples = 2048;
        *maxOutputBytes = 1543;
        return opens;
    }
    int32_t Encode(const int16_t* samples, uint32_t count, uint8_t*, uint32_t) override {
        frames.emplace_back(samples[0], samples[count - 1]);
        return fails ? -1 : 100;
    }
    void Close() override {}
    uint32_t DelayFrames() const override { return 0; }

    bool opens = true, fails = false;
    std::vector<std::pair<int16_t, int16_t>> frames;  // first and last sample of each given
};

TEST(AacEncoder, BlocksAreGatheredIntoFramesOf4096Bytes) {
    constexpr int32_t kFrame = 100, kUntouched = 99;
    struct Step {
        uint32_t bytes;
        int32_t outLength;  // kUntouched: refused, the out length left alone
        int times = 1;
        bool coderFails = false;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;  // the samples of call i all hold i + 1
        std::vector<std::pair<int16_t, int16_t>> frames;
    } scenarios[] = {
        {"whole frames", {{4096, kFrame, 3}}, {{1, 1}, {2, 2}, {3, 3}}},
        {"quarter frames",
         {{1024, -1, 3}, {1024, kFrame}, {1024, -1, 3}, {1024, kFrame}},
         {{1, 4}, {5, 8}}},
        {"uneven blocks",
         {{3000, -1}, {3000, kFrame}, {2000, -1}, {192, kFrame}},
         {{1, 2}, {2, 4}}},
        {"4097 bytes change nothing",
         {{1024, -1}, {4097, kUntouched}, {1024, -1, 2}, {1024, kFrame}},
         {{1, 5}}},
        {"a failed frame goes out next", {{4096, -1, 1, true}, {1024, kFrame}}, {{1, 1}, {1, 1}}},
        {"an overflow drops only what waited",
         {{4096, -1, 4, true}, {4096, kFrame}, {1024, -1}},
         {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {5, 5}}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        auto codec = std::make_unique<FakeAacCodec>();
        FakeAacCodec* fake = codec.get();
        AacEncoder encoder(AacEncoder::kDefaultResampleBufferSize, std::move(codec));
        WaveFormat format;
        uint32_t pcmSize = 0;
        ASSERT_EQ(S_OK, encoder.Init(&format, &pcmSize));
        ASSERT_EQ(4096u, pcmSize);
        int16_t call = 0;
        for (const Step& step : scenario.steps) {
            for (int i = 0; i < step.times; ++i) {
                const std::vector<int16_t> block((step.bytes + 1) / 2, ++call);
                uint8_t output[2048];
                int32_t outLength = kUntouched;
                fake->fails = step.coderFails;
                EXPECT_EQ(step.coderFails || step.outLength == kUntouched ? E_FAIL : S_OK,
                          encoder.EncodeAacData(reinterpret_cast<const uint8_t*>(block.data()),
                                                step.bytes, output, &outLength));
                EXPECT_EQ(step.outLength, outLength) << "call " << call;
            }
        }
        EXPECT_EQ(scenario.frames, fake->frames);
    }
    // A coder that does not open fails Init; a format the resampler refuses does not.
    WaveFormat eightBit{1, 1, 16000, 32000, 2, 8, 0};
    auto closed = std::make_unique<FakeAacCodec>();
    closed->opens = false;
    EXPECT_EQ(E_FAIL, AacEncoder(4096, std::move(closed)).Init(&eightBit, nullptr));
    EXPECT_EQ(S_OK, AacEncoder(4096, std::make_unique<FakeAacCodec>()).Init(&eightBit, nullptr));
}

struct Frames : IEncodedSink {
    void CacheAudio(const uint8_t* data, int32_t length, uint64_t mediaMs) override {
        frames.emplace_back(data, data + length);
        times.push_back(mediaMs);
    }
    void CacheVideo(const uint8_t*, int32_t, uint32_t, uint64_t) override {}
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint64_t> times;
};

// ADTS frames (each must be AAC LC, 48 kHz, stereo) decoded by ffmpeg to interleaved samples.
std::vector<int16_t> DecodeAdts48kStereo(const std::vector<std::vector<uint8_t>>& frames) {
    const platform::TempFolder temp("sc-aac");
    std::ofstream file(temp.Path() + "/tone.aac", std::ios::binary);
    for (const auto& f : frames) {
        // Sync word, MPEG-4, layer 0, LC, 48 kHz, stereo, the frame's own length, one block.
        EXPECT_TRUE(f.size() >= 7 && (f[0] << 16 | f[1] << 8 | f[2]) == 0xFFF14C &&
                    f[3] >> 6 == 2 &&
                    f.size() == static_cast<size_t>((f[3] & 3) << 11 | f[4] << 3 | f[5] >> 5) &&
                    (f[6] & 3) == 0);
        file.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    }
    file.close();
    rtmptest::FfTool ffmpeg(temp.Path(), "ffmpeg",
                            {"-v", "error", "-i", temp.Path() + "/tone.aac", "-f", "s16le", "-"});
    EXPECT_TRUE(ffmpeg.Finish(20000) && ffmpeg.ExitCode() == 0);
    const std::string pcm = ffmpeg.Read(".out");
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
    return std::vector<int16_t>(samples, samples + pcm.size() / 2);
}

// A second of the tone in blocks of any size, arriving as they end, becomes a second of 48 kHz
// stereo AAC at 128 kbit/s that decodes to the tone, each frame stamped with its sound's time:
// the first frame out is the coder's priming, a frame before the first sample.
TEST(OutputAudio, BlocksOfAnyLengthBecomeTheToneInFramesStampedWithItsTime) {
    const struct {
        const char* name;
        WaveFormat format;
        uint32_t blockBytes;
    } cases[] = {
        {"20 ms of 16 kHz mono", Pcm(16000, 1), 640},
        {"40 ms of 48 kHz stereo", Pcm(48000, 2), 7680},
        {"40 ms of 44.1 kHz stereo", Pcm(44100, 2), 7056},
        {"a whole second of 48 kHz stereo", Pcm(48000, 2), 192000},
        {"10 ms of 16 kHz mono and half a sample", Pcm(16000, 1), 321},
    };
    constexpr uint64_t kStartUs = 5000000;  // when the first block's first sample was captured
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OutputAudio audio;
        ASSERT_EQ(0, audio.Init(c.format));
        Frames out;
        const std::vector<uint8_t> tone = Tone(c.format);
        const uint32_t wholeBlock = c.blockBytes - c.blockBytes % c.format.blockAlign;
        for (uint32_t fed = 0; fed < tone.size(); fed += wholeBlock) {
            std::vector<uint8_t> block(tone.begin() + fed, tone.begin() + fed + wholeBlock);
            block.resize(c.blockBytes, 0x10);
            const uint64_t endUs =
                kStartUs + uint64_t{fed + wholeBlock} * 1000000 / c.format.avgBytesPerSec;
            audio.OnMediaData(block.data(), c.blockBytes, endUs, &out);
        }
        audio.Uninit();
        ASSERT_GE(out.times.size(), 45u);
        EXPECT_LE(out.times.size(), 47u);
        size_t bytes = 0;
        for (size_t j = 0; j < out.times.size(); ++j) {
            const double expectedMs = kStartUs / 1000.0 + (static_cast<double>(j) - 1) * 1024 / 48;
            EXPECT_NEAR(expectedMs, static_cast<double>(out.times[j]), 1.0) << j;
            bytes += out.frames[j].size();
        }
        EXPECT_NEAR(128.0, bytes * 8.0 / 1024 * 48 / out.times.size(), 12.0);  // kbit/s
        const std::vector<int16_t> decoded = DecodeAdts48kStereo(out.frames);
        // Smaller blocks let the clock's correction stretch the sound, and the tone its phase.
        for (uint32_t channel = 0; c.blockBytes == c.format.avgBytesPerSec && channel < 2;
             ++channel) {
            const ToneFit fit = FitTone(decoded, channel, 4096);
            EXPECT_NEAR(10000, fit.amplitude, 10000 * 0.05) << "channel " << channel;
            EXPECT_GE(20 * std::log10(fit.amplitude / std::sqrt(2.0) / fit.residualRms), 30.0)
                << "SNR in dB, channel " << channel;
        }
    }
}

}  // namespace
}  // namespace streammanager
