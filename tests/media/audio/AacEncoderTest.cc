// How the encoder gathers PCM into frames, and its life cycle, on a fake coder.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "interfaces/QXTypes.h"
#include "media/audio/AacEncoder.h"

namespace streammanager {
namespace {

// Takes frames of 2048 samples and gives a fixed frame size, or fails when told to.
class FakeAacCodec : public AacCodec {
  public:
    static constexpr int32_t kFrameBytes = 100;

    bool Open(const AacSettings&, uint32_t* inputSamples, uint32_t* maxOutputBytes) override {
        ++opens;
        *inputSamples = 2048;
        *maxOutputBytes = 1543;
        return openResult;
    }
    int32_t Encode(const int16_t* samples, uint32_t count, uint8_t*, uint32_t) override {
        if (failEncode) {
            return -1;
        }
        frames.emplace_back(samples[0], samples[count - 1]);
        return kFrameBytes;
    }
    void Close() override {}
    uint32_t DelayFrames() const override { return 0; }

    bool openResult = true;
    bool failEncode = false;
    int opens = 0;
    std::vector<std::pair<int16_t, int16_t>> frames;  // first and last sample of each
};

constexpr int32_t kFrame = FakeAacCodec::kFrameBytes, kUntouched = 99;

struct Step {
    uint32_t bytes;
    int32_t outLength;  // kUntouched: refused, the out length left alone
    int times = 1;
    bool coderFails = false;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;  // the samples of call i all hold i + 1
    std::vector<std::pair<int16_t, int16_t>> frames;
};

TEST(AacEncoderFrames, BlocksAreGatheredIntoFramesOf4096Bytes) {
    const Scenario scenarios[] = {
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
        {"a failed frame goes out next", {{4096, -1, 1, true}, {1024, kFrame}}, {{1, 1}}},
        {"an overflow drops only what waited",
         {{4096, -1, 4, true}, {4096, kFrame}, {1024, -1}},
         {{5, 5}}},
    };
    for (const Scenario& scenario : scenarios) {
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
                fake->failEncode = step.coderFails;
                EXPECT_EQ(step.coderFails || step.outLength == kUntouched ? E_FAIL : S_OK,
                          encoder.EncodeAacData(reinterpret_cast<const uint8_t*>(block.data()),
                                                step.bytes, output, &outLength));
                EXPECT_EQ(step.outLength, outLength) << "call " << call;
            }
        }
        EXPECT_EQ(scenario.frames, fake->frames);
    }
}

TEST(AacEncoderLifecycle, EncodesOnlyBetweenInitAndUninitAndOpensTheCoderOnce) {
    auto codec = std::make_unique<FakeAacCodec>();
    FakeAacCodec* fake = codec.get();
    AacEncoder encoder(4096, std::move(codec));
    uint8_t pcm[1024] = {};
    uint8_t output[2048];
    int32_t outLength = 7;
    EXPECT_EQ(E_FAIL, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(7, outLength);
    EXPECT_EQ(E_FAIL, encoder.Uninit());

    WaveFormat format;
    EXPECT_EQ(E_FAIL, encoder.Init(nullptr, nullptr));
    EXPECT_EQ(S_OK, encoder.Init(&format, nullptr));
    uint32_t pcmSize = 0;
    EXPECT_EQ(E_FAIL, encoder.Init(&format, &pcmSize));
    EXPECT_EQ(0u, pcmSize);
    EXPECT_EQ(1, fake->opens);
    EXPECT_EQ(S_OK, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(-1, outLength);
    EXPECT_EQ(S_OK, encoder.Uninit());
    EXPECT_EQ(E_FAIL, encoder.Uninit());
    EXPECT_EQ(E_FAIL, encoder.EncodeAacData(pcm, sizeof(pcm), output, &outLength));
    EXPECT_EQ(S_OK, encoder.Init(&format, &pcmSize));
    EXPECT_EQ(4096u, pcmSize);

    auto closed = std::make_unique<FakeAacCodec>();
    closed->openResult = false;
    AacEncoder failing(4096, std::move(closed));
    EXPECT_EQ(E_FAIL, failing.Init(&format, nullptr));
    EXPECT_EQ(E_FAIL, failing.Uninit());
    // A format the resampler cannot convert is no Init failure: its conversions fail later.
    format.bitsPerSample = 8;
    format.blockAlign = 1;
    AacEncoder eightBit(4096, std::make_unique<FakeAacCodec>());
    ASSERT_EQ(S_OK, eightBit.Init(&format, nullptr));
    uint32_t size = eightBit.GetResampleBufferSize();
    EXPECT_EQ(0,
              eightBit.GetAudioResample()->Convert(pcm, 160, eightBit.GetResampleBuffer(), &size));
}

}  // namespace
}  // namespace streammanager
