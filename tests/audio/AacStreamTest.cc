// The real coder behind the encoder: the frames it gives are valid ADTS and decode back to
// the tone that went in through the resampler.
#include <gtest/gtest.h>

#include <vector>

#include "interfaces/QXTypes.h"
#include "media/AacEncoder.h"
#include "tests/audio/AacTestDecoder.h"
#include "tests/audio/ToneAnalysis.h"

namespace streammanager {
namespace {

// Reads `count` bits from `bytes` starting at bit `offset` (most significant first).
uint32_t Bits(const uint8_t* bytes, uint32_t offset, uint32_t count) {
    uint32_t value = 0;
    for (uint32_t i = offset; i < offset + count; ++i) {
        value = (value << 1) | ((bytes[i / 8] >> (7 - i % 8)) & 1u);
    }
    return value;
}

void ExpectAdtsLc48kStereo(const std::vector<uint8_t>& frame) {
    ASSERT_GE(frame.size(), 7u);
    const uint8_t* h = frame.data();
    EXPECT_EQ(0xFFFu, Bits(h, 0, 12));         // sync word
    EXPECT_EQ(0u, Bits(h, 12, 1));             // MPEG-4
    EXPECT_EQ(0u, Bits(h, 13, 2));             // layer
    EXPECT_EQ(1u, Bits(h, 15, 1));             // no CRC: the header is 7 bytes
    EXPECT_EQ(1u, Bits(h, 16, 2));             // profile: AAC LC
    EXPECT_EQ(3u, Bits(h, 18, 4));             // frequency index: 48 kHz
    EXPECT_EQ(2u, Bits(h, 23, 3));             // channel configuration: stereo
    EXPECT_EQ(frame.size(), Bits(h, 30, 13));  // frame length, header included
    EXPECT_EQ(0u, Bits(h, 54, 2));             // one raw data block
}

class AacStream : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(S_OK, encoder.Init(&format, &pcmSize)); }
    void TearDown() override { EXPECT_EQ(S_OK, encoder.Uninit()); }

    // Runs `source` through the output path: resample each block, encode, keep the frames.
    void Push(const std::vector<int16_t>& source, uint32_t blockBytes) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(source.data());
        for (size_t offset = 0; offset + blockBytes <= source.size() * 2; offset += blockBytes) {
            uint32_t size = encoder.GetResampleBufferSize();
            ASSERT_EQ(1, encoder.GetAudioResample()->Convert(bytes + offset, blockBytes,
                                                             encoder.GetResampleBuffer(), &size));
            Encode(encoder.GetResampleBuffer(), size);
        }
    }
    void Encode(const uint8_t* pcm, uint32_t size) {
        uint8_t output[2048];
        int32_t outLength = 0;
        ASSERT_EQ(S_OK, encoder.EncodeAacData(pcm, size, output, &outLength));
        outLengths.push_back(outLength);
        if (outLength > 0) {
            ASSERT_LE(static_cast<uint32_t>(outLength), encoder.MaxOutputBytes());
            frames.emplace_back(output, output + outLength);
        }
    }

    WaveFormat format;  // 16 kHz mono
    uint32_t pcmSize = 0;
    AacEncoder encoder;
    std::vector<int32_t> outLengths;
    std::vector<std::vector<uint8_t>> frames;
};

TEST_F(AacStream, WholeFrameBlocksGiveAFrameFromTheFirstCallOn) {
    ASSERT_EQ(4096u, pcmSize);
    const auto tone = audiotest::MakeTone(48000, 2, 1000, 10000, 1024 * 10);
    for (size_t frame = 0; frame < 10; ++frame) {
        Encode(reinterpret_cast<const uint8_t*>(tone.data() + frame * 2048), 4096);
    }
    ASSERT_EQ(10u, outLengths.size());
    EXPECT_EQ(0, outLengths[0]);  // the coder's look-ahead
    for (size_t i = 1; i < outLengths.size(); ++i) {
        EXPECT_GT(outLengths[i], 0) << "call " << i;
    }
}

TEST_F(AacStream, ToneFrom16kHzMonoComesBackAt48kHzStereoWithin30dB) {
    const double amplitude = 10000;
    const uint32_t seconds = 3;
    Push(audiotest::MakeTone(16000, 1, 1000, amplitude, 16000 * seconds), 640);
    ASSERT_GT(frames.size(), 100u);

    audiotest::AacTestDecoder decoder;
    size_t bytes = 0;
    for (const auto& frame : frames) {
        ExpectAdtsLc48kStereo(frame);
        ASSERT_TRUE(decoder.Decode(frame.data(), static_cast<int32_t>(frame.size())));
        bytes += frame.size();
    }
    ASSERT_EQ(2, decoder.Channels());
    ASSERT_EQ(48000, decoder.SampleRate());
    // The fit over a fixed 1 kHz sine aligns the phase; the coder's delay comes first.
    for (uint32_t channel = 0; channel < 2; ++channel) {
        const audiotest::ToneFit fit =
            audiotest::FitTone(decoder.Samples(), 2, channel, 48000, 1000, 4096);
        EXPECT_NEAR(amplitude, fit.amplitude, amplitude * 0.05) << "channel " << channel;
        EXPECT_GE(fit.SnrDb(), 30.0) << "channel " << channel;
    }
    EXPECT_NEAR(128.0, bytes * 8.0 / 1000.0 / seconds, 12.0);  // kbit/s
}

}  // namespace
}  // namespace streammanager
