#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/AudioResample.h"
#include "tests/audio/ToneAnalysis.h"

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

// Feeds `source` in blocks of `blockFrames` frames as the output path does (4096-byte room)
// and returns everything written, as 48 kHz stereo samples.
std::vector<int16_t> ConvertInBlocks(AudioResample* resample, const WaveFormat& format,
                                     const std::vector<int16_t>& source, uint32_t blockFrames) {
    std::vector<int16_t> out;
    const size_t total = source.size() * 2;
    const size_t block = static_cast<size_t>(blockFrames) * format.blockAlign;
    for (size_t offset = 0; offset + block <= total; offset += block) {
        int16_t dest[2048];
        uint32_t destLength = sizeof(dest);
        EXPECT_EQ(1, resample->Convert(Bytes(source) + offset, static_cast<uint32_t>(block),
                                       reinterpret_cast<uint8_t*>(dest), &destLength));
        out.insert(out.end(), dest, dest + destLength / 2);
    }
    return out;
}

TEST(AudioResampleFormats, RefusesWhatIsNotSixteenBitPcmMonoOrStereo) {
    WaveFormat eightBit = Pcm16(16000, 1);
    eightBit.bitsPerSample = 8;
    eightBit.blockAlign = 1;
    WaveFormat floatTag = Pcm16(48000, 2);
    floatTag.formatTag = 3;
    WaveFormat oddAlign = Pcm16(16000, 1);
    oddAlign.blockAlign = 4;
    const WaveFormat refused[] = {eightBit,        floatTag,    oddAlign,
                                  Pcm16(16000, 0), Pcm16(0, 1), Pcm16(16000, 6)};
    for (const WaveFormat& format : refused) {
        AudioResample resample(format);
        EXPECT_EQ(0, resample.Open());
        uint8_t source[64] = {};
        uint8_t dest[4096];
        uint32_t destLength = sizeof(dest);
        EXPECT_EQ(0, resample.Convert(source, sizeof(source), dest, &destLength));
        EXPECT_EQ(sizeof(dest), destLength);
    }
}

TEST(AudioResampleFormats, EveryContextRateBecomesOneSecondAt48kHzStereo) {
    for (uint32_t rate : {8000u, 16000u, 32000u, 44100u, 48000u}) {
        for (uint16_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channel(s)");
            const WaveFormat format = Pcm16(rate, channels);
            AudioResample resample(format);
            ASSERT_EQ(1, resample.Open());
            const auto out =
                ConvertInBlocks(&resample, format,
                                audiotest::MakeTone(rate, channels, 1000, 8000, rate), rate / 100);
            // One second, less what the filter still holds (16 source samples at most).
            const double held = 16.0 * 48000 / rate + 1;
            EXPECT_LE(out.size() / 2, 48000u);
            EXPECT_GE(static_cast<double>(out.size() / 2), 48000 - held);
        }
    }
}

TEST(AudioResampleContract, BlockNeedingMoreThanTheRoomIsRefusedUntouched) {
    AudioResample resample(Pcm16(16000, 1));
    ASSERT_EQ(1, resample.Open());
    std::vector<uint8_t> source(684, 0x11);  // 342 samples → 1026 frames = 4104 bytes
    std::vector<uint8_t> dest(4096, 0xAB);
    uint32_t destLength = 4096;
    EXPECT_EQ(0, resample.Convert(source.data(), 684, dest.data(), &destLength));
    EXPECT_EQ(4096u, destLength);
    EXPECT_EQ(std::vector<uint8_t>(4096, 0xAB), dest);
    // 341 samples → 1023 frames: fits.
    EXPECT_EQ(1, resample.Convert(source.data(), 682, dest.data(), &destLength));
    EXPECT_LE(destLength, 4092u);
}

TEST(AudioResampleContract, PartBlockConvertsTheWholeBlocksAndReportsFailure) {
    for (uint16_t channels : {1, 2}) {
        const WaveFormat format = Pcm16(16000, channels);
        const auto tone = audiotest::MakeTone(16000, channels, 1000, 8000, 320);
        const uint32_t whole = 320 * format.blockAlign;
        AudioResample cut(format);
        AudioResample exact(format);
        ASSERT_EQ(1, cut.Open());
        ASSERT_EQ(1, exact.Open());
        uint8_t cutOut[4096];
        uint8_t exactOut[4096];
        uint32_t cutLength = sizeof(cutOut);
        uint32_t exactLength = sizeof(exactOut);
        EXPECT_EQ(0, cut.Convert(Bytes(tone), whole - 1, cutOut, &cutLength));
        EXPECT_EQ(1, exact.Convert(Bytes(tone), whole - format.blockAlign, exactOut, &exactLength));
        ASSERT_GT(exactLength, 0u);
        EXPECT_EQ(exactLength, cutLength);
        EXPECT_EQ(0, std::memcmp(cutOut, exactOut, exactLength));
    }
}

// The tone must come out at 1 kHz, at its level, in both channels, with no step where one
// block ends and the next begins (a resampler restarted per block leaves one there).
void ExpectCleanTone(uint32_t rate, uint16_t channels, uint32_t blockFrames) {
    const WaveFormat format = Pcm16(rate, channels);
    AudioResample resample(format);
    ASSERT_EQ(1, resample.Open());
    const double amplitude = 10000;
    const auto out = audiotest::ToFloat(ConvertInBlocks(
        &resample, format, audiotest::MakeTone(rate, channels, 1000, amplitude, rate / 2),
        blockFrames));
    ASSERT_GT(out.size(), 40000u);
    for (uint32_t channel = 0; channel < 2; ++channel) {
        const audiotest::ToneFit fit = audiotest::FitTone(out, 2, channel, 48000, 1000, 256);
        EXPECT_NEAR(amplitude, fit.amplitude, amplitude * 0.002) << "channel " << channel;
        // A clean resampler stays within a few steps of the ideal sine.
        EXPECT_LT(fit.residualMax, 10.0) << "channel " << channel;
    }
}

TEST(AudioResampleTone, From16kHzMonoTo48kHzStereo) {
    ExpectCleanTone(16000, 1, 320);  // 20 ms blocks
    ExpectCleanTone(16000, 1, 77);   // blocks that end mid-period
}

TEST(AudioResampleTone, From44100HzStereoTo48kHzStereo) {
    ExpectCleanTone(44100, 2, 441);  // 10 ms blocks
    ExpectCleanTone(44100, 2, 101);  // a rate ratio that never comes out even
}

}  // namespace
}  // namespace streammanager
