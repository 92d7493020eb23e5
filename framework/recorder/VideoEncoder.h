// Encodes captured pictures to H.264 with the codec layer's encoder: the capture's packed
// pixels converted to I420 (BT.601, limited range, signalled), by libyuv for x11grab's usual
// bgr0 (far cheaper than libswscale, which takes the other formats), cut to even sizes by
// dropping a last odd column or row; preset veryfast, tune zerolatency, no B-frames, a key frame
// every two seconds, average bitrate with the VBV capped at that rate over a one-second buffer;
// one thread (the caller's), so x264 starts none of its own. Timestamps are milliseconds of the
// recording clock, kept strictly increasing.
//
// Owns the encoder, the converter and the picture it converts into. Owned by one
// RecordingOutput: Encode runs on the capture thread; no lock (the pictures it hands out go to
// the muxer under the output's lock).
#pragma once

#include <cstdint>
#include <vector>

#include "codec/H264Encoder.h"

struct SwsContext;

namespace framework {

struct VideoFormat {
    int32_t width = 0;  // of the captured picture
    int32_t height = 0;
    int32_t pixelFormat = -1;  // an AVPixelFormat, packed
    int32_t frameRate = 0;
    int32_t bitrate = 0;
};

// One encoded picture: an access unit in Annex B, its time (ms) and length.
struct EncodedPicture {
    std::vector<uint8_t> bytes;
    int64_t ms = 0;
    int64_t durationMs = 0;
    bool keyFrame = false;
};

class VideoEncoder {
  public:
    VideoEncoder() = default;
    ~VideoEncoder() { Close(); }
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // False when the encoder or the converter cannot be opened for `format`.
    bool Open(const VideoFormat& format);
    void Close();
    int32_t Width() const { return encoder_.Settings().width; }
    int32_t Height() const { return encoder_.Settings().height; }
    // The SPS and PPS (the container's codec header).
    std::vector<uint8_t> Headers() { return encoder_.Headers(); }

    // Converts and encodes one picture (of the opened size and format) recorded at `ms` into
    // `out`. False on failure.
    bool Encode(const uint8_t* data, int32_t stride, int64_t ms, EncodedPicture* out);

  private:
    bool Convert(const uint8_t* data, int32_t stride);

    codec::H264Encoder encoder_;
    SwsContext* converter_ = nullptr;  // for formats other than bgr0 and bgra
    bool argb_ = false;                // bgr0 or bgra: converted by libyuv
    std::vector<uint8_t> picture_;     // packed I420
    int64_t lastMs_ = -1;
    int64_t frameMs_ = 0;
    int64_t frames_ = 0;
};

}  // namespace framework
