// The real coder behind the encoder: its frames are valid ADTS and decode back to the tone
// that went in through the resampler.
#include <gtest/gtest.h>

#include <vector>

#include "interfaces/QXTypes.h"
#include "media/audio/AacEncoder.h"
#include "tests/media/audio/ToneAnalysis.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace streammanager {
namespace {

// ADTS without CRC: sync word, MPEG-4, layer 0, AAC LC, 48 kHz, stereo, the frame's own
// length, one raw data block.
void ExpectAdtsLc48kStereo(const std::vector<uint8_t>& f) {
    ASSERT_GE(f.size(), 7u);
    EXPECT_EQ(0xFFF14Cu, static_cast<uint32_t>(f[0] << 16 | f[1] << 8 | f[2]));
    EXPECT_EQ(2, f[3] >> 6);
    EXPECT_EQ(f.size(), static_cast<size_t>((f[3] & 3) << 11 | f[4] << 3 | f[5] >> 5));
    EXPECT_EQ(0, f[6] & 3);
}

// Decodes the frames with libavcodec into interleaved samples scaled to the 16-bit range.
std::vector<float> Decode(const std::vector<std::vector<uint8_t>>& frames) {
    AVCodecContext* context = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_AAC));
    avcodec_open2(context, context->codec, nullptr);
    AVFrame* decoded = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<float> samples;
    for (const auto& frame : frames) {
        av_new_packet(packet, static_cast<int>(frame.size()));
        std::copy(frame.begin(), frame.end(), packet->data);
        EXPECT_EQ(0, avcodec_send_packet(context, packet));
        av_packet_unref(packet);
        while (avcodec_receive_frame(context, decoded) == 0) {
            EXPECT_EQ(2, decoded->ch_layout.nb_channels);
            EXPECT_EQ(48000, decoded->sample_rate);
            for (int i = 0; i < decoded->nb_samples; ++i) {
                for (int c = 0; c < decoded->ch_layout.nb_channels; ++c) {
                    samples.push_back(reinterpret_cast<float*>(decoded->extended_data[c])[i] *
                                      32768.0f);
                }
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&decoded);
    avcodec_free_context(&context);
    return samples;
}

TEST(AacStream, ToneFrom16kHzMonoComesBackAt48kHzStereoWithin30dB) {
    WaveFormat format;  // 16 kHz mono
    AacEncoder encoder;
    ASSERT_EQ(S_OK, encoder.Init(&format, nullptr));
    const double amplitude = 10000;
    const uint32_t seconds = 3;
    const auto tone = audiotest::MakeTone(16000, 1, 1000, amplitude, 16000 * seconds);
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int32_t> outLengths;
    size_t bytes = 0;
    for (size_t sample = 0; sample + 320 <= tone.size(); sample += 320) {
        uint32_t size = encoder.GetResampleBufferSize();
        ASSERT_EQ(1, encoder.GetAudioResample()->Convert(
                         reinterpret_cast<const uint8_t*>(tone.data() + sample), 640,
                         encoder.GetResampleBuffer(), &size));
        uint8_t output[2048];
        int32_t outLength = 0;
        ASSERT_EQ(S_OK,
                  encoder.EncodeAacData(encoder.GetResampleBuffer(), size, output, &outLength));
        if (outLength >= 0) {
            outLengths.push_back(outLength);
        }
        if (outLength > 0) {
            ASSERT_LE(static_cast<uint32_t>(outLength), encoder.MaxOutputBytes());
            frames.emplace_back(output, output + outLength);
            bytes += frames.back().size();
            ExpectAdtsLc48kStereo(frames.back());
        }
    }
    EXPECT_EQ(S_OK, encoder.Uninit());
    // The coder's look-ahead holds back the first frame only.
    ASSERT_GT(frames.size(), 100u);
    EXPECT_EQ(0, outLengths[0]);
    EXPECT_EQ(outLengths.size() - 1, frames.size());

    const std::vector<float> decoded = Decode(frames);
    for (uint32_t channel = 0; channel < 2; ++channel) {
        const auto fit = audiotest::FitTone(decoded, 2, channel, 48000, 1000, 4096);
        EXPECT_NEAR(amplitude, fit.amplitude, amplitude * 0.05) << "channel " << channel;
        EXPECT_GE(fit.SnrDb(), 30.0) << "channel " << channel;
    }
    EXPECT_NEAR(128.0, bytes * 8.0 / 1000.0 / seconds, 12.0);  // kbit/s
}

}  // namespace
}  // namespace streammanager
