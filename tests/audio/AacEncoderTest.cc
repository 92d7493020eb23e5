// How the encoder gathers PCM into frames, and its lifecycle, on a fake coder.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "interfaces/QXTypes.h"
#include "media/AacEncoder.h"
#include "tests/audio/FakeAacCodec.h"
#include "tests/support/LogRecorder.h"

namespace streammanager {
namespace {

using audiotest::FakeAacCodec;
using Lines = std::vector<std::string>;

// A block of `bytes` bytes whose 16-bit samples all hold `tag`.
std::vector<uint8_t> Block(uint32_t bytes, int16_t tag) {
    std::vector<uint8_t> block(bytes);
    for (uint32_t i = 0; i + 1 < bytes; i += 2) {
        std::memcpy(&block[i], &tag, 2);
    }
    return block;
}

class AacEncoderFrames : public ::testing::Test {
  protected:
    void SetUp() override {
        auto codec = std::make_unique<FakeAacCodec>();
        fake = codec.get();
        encoder =
            std::make_unique<AacEncoder>(AacEncoder::kDefaultResampleBufferSize, std::move(codec));
        ASSERT_EQ(S_OK, encoder->Init(&format, &pcmSize));
    }
    // Feeds one block; returns the out length (or 99 when the call failed).
    int32_t Feed(uint32_t bytes, int16_t tag) {
        const std::vector<uint8_t> block = Block(bytes, tag);
        int32_t outLength = 99;
        result = encoder->EncodeAacData(block.data(), bytes, output, &outLength);
        return result == S_OK ? outLength : 99;
    }

    sctest::LogRecorder log;
    WaveFormat format;
    uint32_t pcmSize = 0;
    FakeAacCodec* fake = nullptr;
    std::unique_ptr<AacEncoder> encoder;
    uint8_t output[2048];
    int32_t result = S_OK;
};

TEST_F(AacEncoderFrames, OpensTheCoderForLc48kHzStereoAt128kbitAndReportsTheFrameSize) {
    EXPECT_EQ(4096u, pcmSize);
    EXPECT_EQ(48000u, fake->Settings().sampleRate);
    EXPECT_EQ(2u, fake->Settings().channels);
    EXPECT_EQ(128000u, fake->Settings().bitRate);
    EXPECT_TRUE(fake->Settings().useTns);
    EXPECT_TRUE(fake->Settings().allowMidSide);
    EXPECT_NE(nullptr, encoder->GetResampleBuffer());
    EXPECT_EQ(4096u, encoder->GetResampleBufferSize());
}

TEST_F(AacEncoderFrames, WholeFrameBlocksGiveOneFrameEveryCall) {
    for (int16_t tag = 1; tag <= 5; ++tag) {
        EXPECT_EQ(FakeAacCodec::kFrameBytes, Feed(4096, tag));
    }
    EXPECT_EQ((std::vector<int16_t>{1, 2, 3, 4, 5}), fake->firstSamples);
}

TEST_F(AacEncoderFrames, QuarterFrameBlocksGiveAFrameEveryFourthCall) {
    const int32_t expected[] = {-1, -1, -1, FakeAacCodec::kFrameBytes};
    for (int16_t tag = 1; tag <= 8; ++tag) {
        EXPECT_EQ(expected[(tag - 1) % 4], Feed(1024, tag)) << "block " << tag;
    }
    // Each frame is four blocks in order.
    EXPECT_EQ((std::vector<int16_t>{1, 5}), fake->firstSamples);
    EXPECT_EQ((std::vector<int16_t>{4, 8}), fake->lastSamples);
}

TEST_F(AacEncoderFrames, UnevenBlocksCarryTheRestIntoTheNextFrame) {
    EXPECT_EQ(-1, Feed(3000, 1));
    EXPECT_EQ(FakeAacCodec::kFrameBytes, Feed(3000, 2));  // 6000 waiting → one frame, 1904 left
    EXPECT_EQ(-1, Feed(2000, 3));                         // 3904
    EXPECT_EQ(FakeAacCodec::kFrameBytes, Feed(192, 4));   // 4096
    EXPECT_EQ((std::vector<int16_t>{1, 2}), fake->firstSamples);
    EXPECT_EQ((std::vector<int16_t>{2, 4}), fake->lastSamples);
}

TEST_F(AacEncoderFrames, BlockLargerThanAFrameFailsAndChangesNothing) {
    EXPECT_EQ(-1, Feed(1024, 1));
    EXPECT_EQ(99, Feed(4097, 2));
    EXPECT_EQ(E_FAIL, result);
    EXPECT_EQ(Lines{"EncodeAacData failed i_length(4097) > m_out_pcm_size(4096).\n"}, log.Texts());
    EXPECT_EQ(-1, Feed(1024, 3));
    EXPECT_EQ(-1, Feed(1024, 4));
    EXPECT_EQ(FakeAacCodec::kFrameBytes, Feed(1024, 5));
    EXPECT_EQ((std::vector<int16_t>{1}), fake->firstSamples);
}

TEST_F(AacEncoderFrames, FailedEncodeKeepsThePcmAndAnOverflowDropsOnlyWhatWaited) {
    fake->failEncode = true;
    for (int16_t tag = 1; tag <= 4; ++tag) {  // fills all four frames of the buffer
        int32_t outLength = 99;
        const auto block = Block(4096, tag);
        EXPECT_EQ(E_FAIL, encoder->EncodeAacData(block.data(), 4096, output, &outLength));
        EXPECT_EQ(-1, outLength);
    }
    EXPECT_EQ(Lines(4, "faacEncEncode failed.\n"), log.Texts());
    fake->failEncode = false;
    // The buffer is full: the fifth block replaces what waited.
    EXPECT_EQ(FakeAacCodec::kFrameBytes, Feed(4096, 5));
    EXPECT_EQ((std::vector<int16_t>{5}), fake->firstSamples);
    EXPECT_EQ(-1, Feed(1024, 6));  // nothing of the first four is left
}

TEST_F(AacEncoderFrames, AfterAFailedEncodeTheWaitingFrameGoesOutNext) {
    fake->failEncode = true;
    EXPECT_EQ(99, Feed(4096, 1));
    fake->failEncode = false;
    EXPECT_EQ(FakeAacCodec::kFrameBytes, Feed(1024, 2));
    EXPECT_EQ((std::vector<int16_t>{1}), fake->firstSamples);
}

TEST(AacEncoderLifecycle, CallsOutsideInitAndUninitFailWithTheirLogLines) {
    sctest::LogRecorder log;
    auto codec = std::make_unique<FakeAacCodec>();
    FakeAacCodec* fake = codec.get();
    AacEncoder encoder(4096, std::move(codec));
    uint8_t pcm[1024] = {};
    uint8_t output[2048];
    int32_t outLength = 7;
    EXPECT_EQ(E_FAIL, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(7, outLength);
    EXPECT_EQ(E_FAIL, encoder.Uninit());
    EXPECT_EQ(nullptr, encoder.GetAudioResample());

    WaveFormat format;
    EXPECT_EQ(S_OK, encoder.Init(&format, nullptr));
    uint32_t pcmSize = 0;
    EXPECT_EQ(E_FAIL, encoder.Init(&format, &pcmSize));
    EXPECT_EQ(0u, pcmSize);
    EXPECT_EQ(1, fake->opens);
    EXPECT_EQ(S_OK, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(-1, outLength);  // the second Init left the waiting PCM alone
    EXPECT_EQ(S_OK, encoder.Uninit());
    EXPECT_EQ(E_FAIL, encoder.Uninit());
    EXPECT_EQ(E_FAIL, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(nullptr, encoder.GetResampleBuffer());
    EXPECT_EQ((Lines{"EncodeAacData failed.\n", "AacEncoder Init failed, is Init already.\n",
                     "EncodeAacData failed.\n"}),
              log.Texts());

    // After Uninit it starts afresh.
    EXPECT_EQ(S_OK, encoder.Init(&format, &pcmSize));
    EXPECT_EQ(4096u, pcmSize);
    EXPECT_EQ(S_OK, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(-1, outLength);
}

TEST(AacEncoderLifecycle, InitFailsWhenTheCoderDoesNotOpenOrTheFormatIsMissing) {
    sctest::LogRecorder log;
    auto codec = std::make_unique<FakeAacCodec>();
    codec->openResult = false;
    AacEncoder encoder(4096, std::move(codec));
    WaveFormat format;
    EXPECT_EQ(E_FAIL, encoder.Init(&format, nullptr));
    EXPECT_EQ(Lines{"faacEncOpen failed.\n"}, log.Texts());
    EXPECT_EQ(E_FAIL, encoder.Uninit());
    EXPECT_EQ(E_FAIL, encoder.Init(nullptr, nullptr));
}

TEST(AacEncoderLifecycle, AFormatTheResamplerRefusesStillInitsButEveryConversionFails) {
    AacEncoder encoder(4096, std::make_unique<FakeAacCodec>());
    WaveFormat eightBit;
    eightBit.bitsPerSample = 8;
    eightBit.blockAlign = 1;
    ASSERT_EQ(S_OK, encoder.Init(&eightBit, nullptr));
    uint8_t pcm[160] = {};
    uint32_t size = encoder.GetResampleBufferSize();
    EXPECT_EQ(0, encoder.GetAudioResample()->Convert(pcm, sizeof(pcm), encoder.GetResampleBuffer(),
                                                     &size));
}

}  // namespace
}  // namespace streammanager
