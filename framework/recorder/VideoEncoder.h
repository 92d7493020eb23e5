// Encodes captured pictures to H.264 with libavcodec's libx264: the capture's packed pixels
// converted to yuv420p (BT.601, limited range, signalled), by libyuv for x11grab's usual bgr0
// (far cheaper than libswscale, which takes the other formats), cut to even sizes by dropping
// a last odd column or row; preset veryfast, tune zerolatency,
// no B-frames, a key frame every two seconds, average bitrate with the VBV capped at that rate
// over a one-second buffer, parameter sets in the global header (for MP4 and FLV); one thread
// (the caller's), so x264 starts none of its own.
// Timestamps are milliseconds of the recording clock, kept strictly increasing.
//
// Owns the codec context, the converter, the frame and the packet. Owned by one
// RecordingOutput: Encode runs on the capture thread, Flush once that thread has ended; no
// lock (the packets it hands out go to the muxer under the output's lock).
#pragma once

#include <cstdint>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace framework {

struct VideoFormat {
    int32_t width = 0;  // of the captured picture
    int32_t height = 0;
    int32_t pixelFormat = -1;  // an AVPixelFormat, packed
    int32_t frameRate = 0;
    int32_t bitrate = 0;
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
    const AVCodecContext* Context() const { return context_; }

    // Converts and encodes one picture (of the opened size and format) recorded at `ms`.
    bool Encode(const uint8_t* data, int32_t stride, int64_t ms);
    // Tells the encoder that no picture follows.
    bool Flush();
    // The next packet the encoder has made (its times in the context's time base, ms), or null.
    // Valid until the next call.
    AVPacket* NextPacket();

  private:
    AVCodecContext* context_ = nullptr;
    SwsContext* converter_ = nullptr;  // for formats other than bgr0 and bgra
    bool argb_ = false;                // bgr0 or bgra: converted by libyuv
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t lastMs_ = -1;
    int64_t frameMs_ = 0;
};

}  // namespace framework
