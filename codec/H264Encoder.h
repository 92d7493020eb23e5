// Encodes pictures to H.264 with libx264 for every path that makes H.264 (the mixer's canvas,
// the screen recording): tune zerolatency, no B-frames, one slice per picture on one thread or
// sliced threads (a slice each: every picture still comes out at once), average bitrate with
// the VBV capped at that rate over a 1 s buffer, changed in place when asked (no key frame), a
// key frame exactly every `keyInterval` frames (no scene-cut ones) or when asked, with SPS and
// PPS before it, BT.601 limited range in the VUI, Annex B with 4-byte start codes.
//
// Owns the x264 encoder. Owned by one user and used from one thread at a time; no lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct x264_t x264_t;

namespace codec {

struct H264Settings {
    int32_t width = 0;  // even
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t bitrate = 0;  // bits per second
    int32_t keyInterval = 0;
    std::string preset = "veryfast";  // an unknown one falls back to "veryfast"
    int32_t threads = 1;              // more than one: sliced threads, a slice each

    bool operator==(const H264Settings& other) const;
    bool operator!=(const H264Settings& other) const { return !(*this == other); }
};

// One planar I420 picture of the opened size; the data belongs to the caller.
struct I420Picture {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int32_t strideY = 0;
    int32_t strideU = 0;
    int32_t strideV = 0;
};

class H264Encoder {
  public:
    H264Encoder() = default;
    ~H264Encoder() { Close(); }
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    // False when x264 refuses the settings.
    bool Open(const H264Settings& settings);
    void Close();
    bool IsOpen() const { return encoder_ != nullptr; }
    const H264Settings& Settings() const { return settings_; }

    // Changes the bitrate (and the VBV with it) in place, without a key frame. False when x264
    // refuses; the bitrate stays as it was.
    bool SetBitrate(int32_t bitsPerSecond);
    int32_t Bitrate() const { return bitrate_; }
    // The SPS and PPS the stream starts with, Annex B (a container's codec header).
    std::vector<uint8_t> Headers();

    // Encodes `picture` as frame `pts` (a key frame when `forceKey`), appending the access unit
    // to `out`. False on failure or when x264 made nothing.
    bool Encode(const I420Picture& picture, int64_t pts, bool forceKey, std::vector<uint8_t>* out,
                bool* keyFrame);

  private:
    // Appends x264's length-prefixed NAL units as Annex B.
    static void AppendAnnexB(const void* nals, int count, std::vector<uint8_t>* out);

    x264_t* encoder_ = nullptr;
    H264Settings settings_;
    int32_t bitrate_ = 0;  // what it runs at now
};

}  // namespace codec
