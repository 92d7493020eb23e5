// Decodes one encoded video input: H.264 access units in, I420 pictures out, with libavcodec
// (one thread, low delay: every unit gives its picture at once). A unit that does not decode
// cleanly (truncated, corrupt, not 4:2:0) is dropped, and so is everything after it up to the
// next key frame, so no broken picture reaches the canvas; the decoder recovers there.
//
// Owns the codec context, the packet, the frame being decoded and the last good picture.
// Owned by one mixer input and used under that input's lock; no lock of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/mixer/CanvasArea.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace framework {

class H264Decoder {
  public:
    enum class Result {
        kPicture,    // a new picture: LastPicture shows it
        kNoPicture,  // taken in, nothing to show yet (parameter sets only, say)
        kDropped,    // refused: broken, or waiting for a key frame after a broken one
    };

    H264Decoder() = default;
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // `keyFrame` is the unit's own mark (the decoder also looks at the bitstream).
    Result Decode(const uint8_t* data, uint32_t length, bool keyFrame);
    // The last good picture, until the next Decode; false before the first.
    bool LastPicture(AreaView* view) const;

  private:
    bool Open();
    Result Drop();
    void Close();

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* last_ = nullptr;
    std::vector<uint8_t> padded_;  // the unit with the zero padding libavcodec reads into
    bool waitingForKey_ = false;
    bool failed_ = false;  // the codec could not be opened: every unit is dropped
};

}  // namespace framework
