// The host's H.264: key frames with their parameter sets at the interval and on request, and
// a header on every unit that the receiver's own parser reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "host/H264Encoder.h"
#include "host/TestPattern.h"
#include "media/input/QXInput.h"

namespace qxhost {
namespace {

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
