// The media the host makes: test pictures that carry their frame number, a tone whose phase
// runs on across blocks, and H.264 units whose header the receiver's own parser reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "host/H264Encoder.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "media/input/QXInput.h"

namespace qxhost {
namespace {

TEST(TestPatternTest, FrameNumberReadsBackAndEachNumberGivesItsOwnPicture) {
    for (auto [width, height] : {std::pair<int, int>{1280, 720}, {176, 144}, {64, 16}}) {
        const TestPattern pattern(width, height);
        for (uint32_t number : {0u, 123456u, 4294967295u}) {
            uint32_t read = 1;
            ASSERT_TRUE(pattern.ReadNumber(pattern.Render(number).data(), &read))
                << width << "x" << height << " frame " << number;
            EXPECT_EQ(read, number) << width << "x" << height;
        }
    }
    const TestPattern pattern(320, 180);
    const std::vector<uint8_t> first = pattern.Render(41);
    EXPECT_EQ(pattern.Render(41), first);
    // The pattern moves below the number's box too, not just the digits.
    const std::vector<uint8_t> next = pattern.Render(42);
    EXPECT_FALSE(
        std::equal(first.begin() + 320 * 90, first.begin() + 320 * 180, next.begin() + 320 * 90));
}

std::vector<uint8_t> Blocks(ToneFormat format, int blocksPerSecond, int count) {
    format.blocksPerSecond = blocksPerSecond;
    ToneGenerator tone(format);
    std::vector<uint8_t> all;
    std::vector<uint8_t> block;
    for (int i = 0; i < count; ++i) {
        tone.NextBlock(&block);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

TEST(ToneGeneratorTest, PhaseRunsOnAcrossBlocksOfAnySizeAtTheFrequencyOnEveryChannel) {
    ToneFormat format;  // 16 kHz, 440 Hz
    format.channels = 2;
    const std::vector<uint8_t> second = Blocks(format, 1, 1);
    ASSERT_EQ(second.size(), 16000u * 2 * 2);
    EXPECT_EQ(Blocks(format, 50, 50), second);
    EXPECT_EQ(Blocks(format, 30, 30), second);  // blocks of 533 and 534 samples
    auto sample = [&](size_t index) {
        return static_cast<int16_t>(second[2 * index] | (second[2 * index + 1] << 8));
    };
    int rises = 0;
    int peak = 0;
    for (size_t i = 1; i < 16000; ++i) {
        ASSERT_EQ(sample(2 * i), sample(2 * i + 1));
        rises += sample(2 * i - 2) < 0 && sample(2 * i) >= 0 ? 1 : 0;
        peak = std::max(peak, std::abs(int{sample(2 * i)}));
    }
    EXPECT_NEAR(rises, 440, 1);
    EXPECT_LE(peak, format.amplitude);
    EXPECT_GE(peak, format.amplitude - 100);
}

// The NAL unit types of an encoded unit's Annex-B bytes, in order.
std::vector<int> NalTypes(const EncodedUnit& unit) {
    std::vector<int> types;
    const std::vector<uint8_t>& b = unit.bytes;
    for (size_t i = H264Encoder::kHeaderBytes; i + 3 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
            types.push_back(b[i + 3] & 0x1F);
            i += 3;
        }
    }
    return types;
}

TEST(H264EncoderTest, KeyFramesCarryTheirParameterSetsAndEveryUnitAHeaderTheReceiverReads) {
    H264Settings settings;
    settings.width = 64;
    settings.height = 48;
    settings.keyInterval = 4;
    const TestPattern pattern(64, 48);
    H264Encoder encoder;
    ASSERT_TRUE(encoder.Open(settings));
    std::set<uint32_t> keys;
    for (uint32_t i = 0; i < 10; ++i) {
        if (i == 6) {
            encoder.RequestKeyFrame();
        }
        EncodedUnit unit;
        // Timestamps keep their low 27 bits.
        ASSERT_TRUE(encoder.Encode(pattern.Render(i).data(), 0x08000000u + i * 33, &unit));
        streammanager::EncodedVideoHeader header;
        ASSERT_TRUE(streammanager::ParseEncodedVideoHeader(2, unit.bytes.data(), unit.bytes.size(),
                                                           &header));
        EXPECT_EQ(std::tie(header.headerLength, header.desc.codecId, header.desc.width,
                           header.desc.height, header.desc.timestamp, header.desc.fieldA,
                           header.desc.flagB),
                  std::make_tuple(8u, 1, 64, 48, i * 33, 0, 0u));
        EXPECT_EQ(header.desc.keyFrame, unit.keyFrame ? 1 : 0);
        const std::vector<int> types = NalTypes(unit);
        if (unit.keyFrame) {
            keys.insert(i);
            // SPS and PPS, then (past any SEI) the IDR slice.
            ASSERT_GE(types.size(), 3u);
            EXPECT_EQ(std::tie(types[0], types[1], types.back()), std::make_tuple(7, 8, 5));
        } else {
            EXPECT_GT(std::count(types.begin(), types.end(), 1), 0) << "unit " << i;
            EXPECT_EQ(std::count(types.begin(), types.end(), 7), 0) << "unit " << i;
        }
    }
    EXPECT_EQ(keys, (std::set<uint32_t>{0, 4, 6}));  // the request restarts the interval
}

}  // namespace
}  // namespace qxhost
