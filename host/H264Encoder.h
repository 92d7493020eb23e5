// H.264 encoding of I420 pictures with x264 for the encoded-video channel: ultrafast preset,
// zero-latency tuning (one access unit out for each picture in), baseline profile, Annex-B
// with SPS and PPS in front of every key frame, a key frame every keyInterval pictures, no
// scene-cut key frames. Each unit leaves with the 8-byte header the receiver decodes:
//   W0: bits 0-3 codec (1 = H.264), bit 4 key frame, bits 5-7 zero, bits 8-19 width / 8,
//       bits 20-31 height / 8;
//   W1: bits 0-26 timestamp in ms, bits 27-31 zero (no extension).
//
// Owns the x264 encoder and its picture. Owned and called by one thread.
#pragma once

#include <cstdint>
#include <vector>

struct x264_t;

namespace qxhost {

struct H264Settings {
    uint16_t width = 640;  // even; the header carries width / 8
    uint16_t height = 360;
    uint32_t frameRate = 30;
    uint32_t bitrateKbps = 800;
    uint32_t keyInterval = 60;
};

struct EncodedUnit {
    std::vector<uint8_t> bytes;  // the 8-byte header, then the Annex-B access unit
    bool keyFrame = false;
};

class H264Encoder {
  public:
    static constexpr uint32_t kHeaderBytes = 8;
    static constexpr uint8_t kCodecH264 = 1;

    H264Encoder() = default;
    ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    // False when the settings do not suit x264 (odd or zero size, zero rate) or it fails.
    bool Open(const H264Settings& settings);
    bool IsOpen() const { return encoder_ != nullptr; }
    const H264Settings& Settings() const { return settings_; }

    // Encodes one picture (width x height I420, Y then U then V) stamped `timestampMs`
    // (cut to 27 bits). False when the encoder failed or gave no unit.
    bool Encode(const uint8_t* i420, uint32_t timestampMs, EncodedUnit* unit);
    // Makes the next picture a key frame (after a unit was lost, say).
    void RequestKeyFrame() { keyFrameRequested_ = true; }

    // Writes the 8-byte header of an H.264 unit into `out`.
    static void PutHeader(bool keyFrame, uint16_t width, uint16_t height, uint32_t timestampMs,
                          uint8_t* out);

  private:
    void Close();

    H264Settings settings_;
    x264_t* encoder_ = nullptr;
    int64_t pictures_ = 0;
    bool keyFrameRequested_ = false;
};

}  // namespace qxhost
