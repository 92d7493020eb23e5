// Encodes the canvas to H.264 with libx264: tune zerolatency, no B-frames, one slice per
// picture on one thread, or sliced threads (a slice each, no added latency: every picture
// still comes out at once),
// average bitrate with the VBV capped at that rate over a 1 s buffer, a key frame exactly
// every `keyInterval` frames (no scene-cut ones) with SPS and PPS before it, BT.601 limited
// range in the VUI, Annex B with 4-byte start codes.
//
// Owns the x264 encoder. Owned by the mixer and used only on the mixer's thread; no lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/mixer/CanvasArea.h"

typedef struct x264_t x264_t;

namespace framework {

struct EncoderSettings {
    int32_t width = 0;  // even
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t bitrate = 0;  // bits per second
    int32_t keyInterval = 0;
    std::string preset = "veryfast";
    int32_t threads = 1;  // more than one: sliced threads, a slice each

    bool operator==(const EncoderSettings& other) const;
    bool operator!=(const EncoderSettings& other) const { return !(*this == other); }
};

class X264Encoder {
  public:
    X264Encoder() = default;
    ~X264Encoder() { Close(); }
    X264Encoder(const X264Encoder&) = delete;
    X264Encoder& operator=(const X264Encoder&) = delete;

    // False when x264 refuses the settings (an unknown preset falls back to "veryfast").
    bool Open(const EncoderSettings& settings);
    void Close();
    bool IsOpen() const { return encoder_ != nullptr; }
    const EncoderSettings& Settings() const { return settings_; }

    // Changes the bitrate (and the VBV with it) in place, without a key frame. False when x264
    // refuses; the bitrate stays as it was.
    bool SetBitrate(int32_t bitsPerSecond);
    int32_t Bitrate() const { return bitrate_; }

    // Encodes `picture` (the canvas, of the opened size) as frame `index` (a key frame when
    // `forceKey`), appending the access unit to `out`. False on failure.
    bool Encode(const AreaView& picture, int64_t index, bool forceKey, std::vector<uint8_t>* out,
                bool* keyFrame);

  private:
    x264_t* encoder_ = nullptr;
    EncoderSettings settings_;
    int32_t bitrate_ = 0;  // what it runs at now
};

}  // namespace framework
