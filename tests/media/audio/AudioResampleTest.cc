#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "media/audio/AudioResample.h"
#include "tests/media/audio/ToneAnalysis.h"

namespace streammanager {
namespace {

WaveFormat Pcm16(uint32_t rate, uint16_t channels) {
    WaveFormat format;
    format.channels = channels;
    format.samplesPerSec = rate;
    format.blockAlign = static_cast<uint16_t>(2 * channels);
    format.avgBytesPerSec = rate * format.blockAlign;
    return format;
}

const uint8_t* Bytes(const std::vector<int16_t>& samples) {
    return reinterpret_cast<const uint8_t*>(samples.data());
}

TEST(AudioResampleFormats, RefusesWhatIsNotSixteenBitPcmMonoOrStereo) {
    WaveFormat eightBit = Pcm16(16000, 1);
    eightBit.bitsPerSample = 8;
    eightBit.blockAlign = 1;
    WaveFormat floatTag = Pcm16(48000, 2);
    floatTag.formatTag = 3;
    WaveFormat oddAlign = Pcm16(16000, 1);
    oddAlign.blockAlign = 4;
    for (const WaveFormat& format :
         {eightBit, floatTag, oddAlign, Pcm16(16000, 0), Pcm16(0, 1), Pcm16(16000, 6)}) {
        AudioResample resample(format);
        EXPECT_EQ(0, resample.Open());
        uint8_t source[64] = {};
        uint8_t dest[4096];
        uint32_t destLength = sizeof(dest);
        EXPECT_EQ(0, resample.Convert(source, sizeof(source), dest, &destLength));
        EXPECT_EQ(sizeof(dest), destLength);
    }
}

TEST(AudioResampleContract, BlocksThatDoNotFitOrEndInAPartFrameAreRefused) {
    for (uint16_t channels : {1, 2}) {
        const WaveFormat format = Pcm16(16000, channels);
        const auto tone = audiotest::MakeTone(16000, channels, 1000, 8000, 342);
        AudioResample cut(format);
        AudioResample exact(format);
        ASSERT_EQ(1, cut.Open());
        ASSERT_EQ(1, exact.Open());
        // 342 frames would give 1026 frames, 4104 bytes: refused, nothing written or consumed.
        std::vector<uint8_t> cutOut(4096, 0xAB);
        std::vector<uint8_t> exactOut(4096);
        uint32_t cutLength = 4096;
        uint32_t exactLength = 4096;
        const uint32_t whole = 342 * format.blockAlign;
        EXPECT_EQ(0, cut.Convert(Bytes(tone), whole, cutOut.data(), &cutLength));
        EXPECT_EQ(4096u, cutLength);
        EXPECT_EQ(std::vector<uint8_t>(4096, 0xAB), cutOut);
        // A part frame at the end: the 341 whole frames convert and the call reports failure.
        EXPECT_EQ(0, cut.Convert(Bytes(tone), whole - 1, cutOut.data(), &cutLength));
        EXPECT_EQ(1, exact.Convert(Bytes(tone), whole - format.blockAlign, exactOut.data(),
                                   &exactLength));
        ASSERT_GT(exactLength, 0u);
        EXPECT_EQ(exactLength, cutLength);
        EXPECT_TRUE(std::equal(exactOut.begin(), exactOut.begin() + exactLength, cutOut.begin()));
    }
}

// Every context rate becomes 48 kHz stereo of the same length, less what the filter still holds
// (16 source samples at most). A 1 kHz tone comes out at its level, in both channels, and within
// a few steps of the ideal sine: a resampler restarted per block leaves a step at block edges.
TEST(AudioResampleTone, EveryContextRateGivesTheToneCleanAt48kHzStereo) {
    struct Case {
        uint32_t rate;
        uint16_t channels;
        uint32_t blockFrames;
    };
    std::vector<Case> cases = {{16000, 1, 77}, {44100, 2, 101}};  // blocks ending mid-period
    for (uint32_t rate : {8000u, 16000u, 32000u, 44100u, 48000u}) {
        for (uint16_t channels : {1, 2}) {
            cases.push_back({rate, channels, rate / 100});
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels
                                        << " channel(s), blocks of " << c.blockFrames);
        const WaveFormat format = Pcm16(c.rate, c.channels);
        AudioResample resample(format);
        ASSERT_EQ(1, resample.Open());
        const auto source = audiotest::MakeTone(c.rate, c.channels, 1000, 10000, c.rate);
        std::vector<int16_t> out;
        const uint32_t block = c.blockFrames * format.blockAlign;
        for (size_t offset = 0; offset + block <= source.size() * 2; offset += block) {
            int16_t dest[2048];
            uint32_t destLength = sizeof(dest);
            EXPECT_EQ(1, resample.Convert(Bytes(source) + offset, block,
                                          reinterpret_cast<uint8_t*>(dest), &destLength));
            out.insert(out.end(), dest, dest + destLength / 2);
        }
        const double expected =
            static_cast<double>(c.rate / c.blockFrames * c.blockFrames) * 48000 / c.rate;
        EXPECT_LE(out.size() / 2, std::ceil(expected));
        EXPECT_GE(out.size() / 2, expected - (16.0 * 48000 / c.rate + 1));
        for (uint32_t channel = 0; channel < 2; ++channel) {
            const auto fit = audiotest::FitTone(out, 2, channel, 48000, 1000, 256);
            EXPECT_NEAR(10000, fit.amplitude, 10000 * 0.002) << "channel " << channel;
            EXPECT_LT(fit.residualMax, 10.0) << "channel " << channel;
        }
    }
}

}  // namespace
}  // namespace streammanager
