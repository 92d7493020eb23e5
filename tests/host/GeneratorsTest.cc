// The media the host makes: test pictures that carry their frame number, a tone whose phase
// runs on across blocks, and H.264 units whose header the receiver's own parser reads back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "host/H264Encoder.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "media/QXInput.h"

namespace qxhost {
namespace {

// The NAL unit types of an Annex-B access unit, in order.
std::vector<int> NalTypes(const uint8_t* data, size_t length) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            types.push_back(data[i + 3] & 0x1F);
            i += 3;
        }
    }
    return types;
}

std::vector<int> NalTypes(const EncodedUnit& unit) {
    return NalTypes(unit.bytes.data() + H264Encoder::kHeaderBytes,
                    unit.bytes.size() - H264Encoder::kHeaderBytes);
}

bool Contains(const std::vector<int>& types, int type) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

TEST(TestPatternTest, FrameNumberReadsBackAtCommonSizes) {
    for (auto [width, height] :
         {std::pair<int, int>{1280, 720}, {640, 360}, {176, 144}, {64, 16}}) {
        const TestPattern pattern(width, height);
        for (uint32_t number : {0u, 7u, 123456u, 4294967295u}) {
            uint32_t read = 1;
            ASSERT_TRUE(pattern.ReadNumber(pattern.Render(number).data(), &read))
                << width << "x" << height << " frame " << number;
            EXPECT_EQ(read, number) << width << "x" << height;
        }
    }
}

TEST(TestPatternTest, EachFrameNumberGivesItsOwnPictureAndTheSameNumberTheSamePicture) {
    const TestPattern pattern(320, 180);
    const std::vector<uint8_t> first = pattern.Render(41);
    const std::vector<uint8_t> next = pattern.Render(42);
    EXPECT_EQ(pattern.Render(41), first);
    ASSERT_EQ(first.size(), next.size());
    // The pattern moves below the number's box too, not just the digits.
    const size_t lowerHalf = 320 * 90;
    EXPECT_NE(std::vector<uint8_t>(first.begin() + lowerHalf, first.begin() + 2 * lowerHalf),
              std::vector<uint8_t>(next.begin() + lowerHalf, next.begin() + 2 * lowerHalf));
}

std::vector<uint8_t> Blocks(ToneFormat format, int count) {
    ToneGenerator tone(format);
    std::vector<uint8_t> all;
    std::vector<uint8_t> block;
    for (int i = 0; i < count; ++i) {
        tone.NextBlock(&block);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

int16_t SampleAt(const std::vector<uint8_t>& pcm, size_t index) {
    return static_cast<int16_t>(pcm[2 * index] | (pcm[2 * index + 1] << 8));
}

TEST(ToneGeneratorTest, PhaseRunsOnAcrossBlocksOfAnySize) {
    ToneFormat format;  // 16 kHz mono, 440 Hz
    format.blocksPerSecond = 50;
    const std::vector<uint8_t> twentyMs = Blocks(format, 25);
    format.blocksPerSecond = 10;
    const std::vector<uint8_t> hundredMs = Blocks(format, 5);
    format.blocksPerSecond = 30;  // blocks of 533 and 534 samples
    const std::vector<uint8_t> uneven = Blocks(format, 15);
    ASSERT_EQ(twentyMs.size(), 8000u * 2);
    EXPECT_EQ(hundredMs, twentyMs);
    EXPECT_EQ(uneven, twentyMs);
}

TEST(ToneGeneratorTest, OneSecondHoldsTheFrequencyWithinTheAmplitudeOnEveryChannel) {
    ToneFormat format;
    format.channels = 2;
    format.blocksPerSecond = 1;
    const std::vector<uint8_t> second = Blocks(format, 1);
    ASSERT_EQ(second.size(), 16000u * 2 * 2);
    int rises = 0;
    int peak = 0;
    for (size_t i = 1; i < 16000; ++i) {
        ASSERT_EQ(SampleAt(second, 2 * i), SampleAt(second, 2 * i + 1));
        rises += SampleAt(second, 2 * i - 2) < 0 && SampleAt(second, 2 * i) >= 0 ? 1 : 0;
        peak = std::max(peak, std::abs(int{SampleAt(second, 2 * i)}));
    }
    EXPECT_NEAR(rises, 440, 1);
    EXPECT_LE(peak, format.amplitude);
    EXPECT_GE(peak, format.amplitude - 100);
}

class H264EncoderTest : public ::testing::Test {
  protected:
    bool Open(uint16_t width, uint16_t height, uint32_t keyInterval) {
        H264Settings settings;
        settings.width = width;
        settings.height = height;
        settings.keyInterval = keyInterval;
        pattern_ = std::make_unique<TestPattern>(width, height);
        return encoder_.Open(settings);
    }
    EncodedUnit Encode(uint32_t number, uint32_t timestampMs) {
        EncodedUnit unit;
        EXPECT_TRUE(encoder_.Encode(pattern_->Render(number).data(), timestampMs, &unit));
        return unit;
    }

    H264Encoder encoder_;
    std::unique_ptr<TestPattern> pattern_;
};

TEST_F(H264EncoderTest, FirstUnitIsAKeyFrameWithItsParameterSetsAndAHeaderTheReceiverReads) {
    ASSERT_TRUE(Open(640, 360, 30));
    const EncodedUnit unit = Encode(0, 1234);
    EXPECT_TRUE(unit.keyFrame);
    // SPS and PPS, then (past any SEI) the IDR slice.
    const std::vector<int> types = NalTypes(unit);
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types[0], 7);
    EXPECT_EQ(types[1], 8);
    EXPECT_EQ(types.back(), 5);
    streammanager::EncodedVideoHeader header;
    ASSERT_TRUE(
        streammanager::ParseEncodedVideoHeader(2, unit.bytes.data(), unit.bytes.size(), &header));
    EXPECT_EQ(header.headerLength, 8u);
    EXPECT_EQ(header.desc.codecId, 1);
    EXPECT_EQ(header.desc.keyFrame, 1);
    EXPECT_EQ(header.desc.width, 640);
    EXPECT_EQ(header.desc.height, 360);
    EXPECT_EQ(header.desc.timestamp, 1234u);
    EXPECT_EQ(header.desc.fieldA, 0);
    EXPECT_EQ(header.desc.flagB, 0u);
    // Timestamps keep their low 27 bits.
    const EncodedUnit late = Encode(1, 0x08000005u);
    ASSERT_TRUE(
        streammanager::ParseEncodedVideoHeader(2, late.bytes.data(), late.bytes.size(), &header));
    EXPECT_EQ(header.desc.timestamp, 5u);
    EXPECT_EQ(header.desc.keyFrame, 0);
}

TEST_F(H264EncoderTest, KeyFramesComeEveryIntervalAndOnRequest) {
    ASSERT_TRUE(Open(64, 48, 4));
    std::set<uint32_t> keys;
    for (uint32_t i = 0; i < 10; ++i) {
        if (i == 6) {
            encoder_.RequestKeyFrame();
        }
        const EncodedUnit unit = Encode(i, i * 33);
        const std::vector<int> types = NalTypes(unit);
        streammanager::EncodedVideoHeader header;
        ASSERT_TRUE(streammanager::ParseEncodedVideoHeader(2, unit.bytes.data(), unit.bytes.size(),
                                                           &header));
        EXPECT_EQ(header.desc.keyFrame, unit.keyFrame ? 1 : 0);
        EXPECT_EQ(unit.keyFrame, Contains(types, 5) && Contains(types, 7)) << "unit " << i;
        EXPECT_EQ(unit.keyFrame, !Contains(types, 1)) << "unit " << i;
        if (unit.keyFrame) {
            keys.insert(i);
        }
    }
    // The requested key frame restarts the interval.
    EXPECT_EQ(keys, (std::set<uint32_t>{0, 4, 6}));
}

}  // namespace
}  // namespace qxhost
