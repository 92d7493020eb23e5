// The host's H.264: key frames at the interval and on request, and a header on every unit that
// the receiver's own parser reads back. The sync pattern: white
// pictures and beep onsets at the same instants of media time.
#include <gtest/gtest.h>

#include <set>

#include "host/H264Encoder.h"
#include "host/SyncPattern.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "media/input/QXInput.h"

namespace qxhost {
namespace {

// Whether the Annex-B bytes after the header hold an IDR slice. (That key frames carry their
// parameter sets is the pushers' concern: they meet this encoder in their tests.)
bool HasIdrSlice(const EncodedUnit& unit) {
    const std::vector<uint8_t>& b = unit.bytes;
    for (size_t i = H264Encoder::kHeaderBytes; i + 3 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

TEST(H264EncoderTest, KeyFramesComeAtTheIntervalAndOnRequestEachUnitWithAHeaderTheReceiverReads) {
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
                           header.desc.flagB, header.desc.keyFrame),
                  std::make_tuple(8u, 1, 64, 48, i * 33, 0, 0u, unit.keyFrame ? 1 : 0));
        EXPECT_EQ(unit.keyFrame, HasIdrSlice(unit)) << "unit " << i;
        if (unit.keyFrame) {
            keys.insert(i);
        }
    }
    EXPECT_EQ(keys, (std::set<uint32_t>{0, 4, 6}));  // the request restarts the interval
}

// Media time in ms of unit (or sample) k at `rate` a second, which must be a whole ms.
uint64_t MediaMs(uint64_t k, uint32_t rate) {
    EXPECT_EQ(k * 1000 % rate, 0u) << k << " at " << rate;
    return k * 1000 / rate;
}

TEST(SyncPatternTest, WhitePicturesAndBeepOnsetsFallOnTheSameWholeSeconds) {
    const std::set<uint64_t> instantsMs = {1000, 2000, 3000};
    for (auto [pictureRate, sampleRate, blocks] :
         {std::tuple{24u, 16000u, 50u}, {25u, 44100u, 30u}, {60u, 48000u, 7u}}) {
        std::set<uint64_t> flashesMs;
        for (uint64_t k = 0; k < pictureRate * 7 / 2; ++k) {
            if (sync_pattern::IsFlash(k, pictureRate)) {
                flashesMs.insert(MediaMs(k, pictureRate));
            }
        }
        ToneGenerator tone({sampleRate, 1, 440.0, blocks, 8000, ToneShape::kSync});
        std::set<uint64_t> onsetsMs;
        std::vector<uint8_t> block;
        for (uint64_t sample = 0, lastSound = 0; sample < sampleRate * 7 / 2;) {
            tone.NextBlock(&block);
            for (size_t i = 0; i < block.size(); i += 2, ++sample) {
                const bool sound = (block[i] | block[i + 1]) != 0;
                if (sound && sample - lastSound > sampleRate / 10) {
                    EXPECT_EQ(i, 0u) << "a beep starts a block, due at the same instant";
                    onsetsMs.insert(MediaMs(sample, sampleRate));
                }
                lastSound = sound ? sample : lastSound;
            }
        }
        EXPECT_EQ(flashesMs, instantsMs) << pictureRate << " pictures a second";
        EXPECT_EQ(onsetsMs, instantsMs) << sampleRate << " Hz";
    }
}

}  // namespace
}  // namespace qxhost
