// One input of the video mixer: its place and look on the canvas, and its picture already
// drawn there. Each new picture (raw I420, or decoded from H.264) is scaled at once into the
// input's area of the canvas, with its background, crop mode and border, so composing a frame
// is a copy of every input's area; nothing of the caller's buffer is kept. The last picture
// stays until a new one comes; a new layout or canvas redraws it in the new place.
//
// What the mixer does with the input's playback clock: it keeps it, and does not pace by it.
// The host hands over live pictures as they are due, so each one is shown at the next tick
// after it arrives; holding pictures back until the clock reaches their time would only add
// latency.
//
// Owns its two areas (the one shown, the one being drawn), its fixed picture (a default
// picture, copied from the RenderPara) and, for an encoded input, its H264Decoder. Owned by the
// VideoMixer through shared owners (a frame being made keeps the inputs it draws).
// Threads: layout calls come from the control path, pictures from receiver threads, DrawInto
// from the mixer's thread. writeMutex_ serialises the drawing of new areas; frontMutex_ guards
// the area shown, taken briefly to swap or copy it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/log/ModuleLog.h"
#include "framework/mixer/CanvasArea.h"
#include "framework/mixer/H264Decoder.h"
#include "framework/mixer/PictureGeometry.h"
#include "framework/mixer/YuvColor.h"
#include "interfaces/IVideoMixer.h"
#include "platform/Mutex.h"

namespace framework {

class MixerInput {
  public:
    // Raw pictures and fixed pictures are at most this wide and high.
    static constexpr int32_t kMaxPictureSide = 4096;

    MixerInput(int32_t handle, const ModuleLog& log);
    MixerInput(const MixerInput&) = delete;
    MixerInput& operator=(const MixerInput&) = delete;

    int32_t Handle() const { return handle_; }
    // Takes the layout of `para` (its picture and colours are copied) and redraws.
    void SetLayout(const RenderPara& para);
    // The canvas the area is cut to; redraws.
    void SetCanvas(int64_t width, int64_t height);
    void SetClock(IPlaySyncTime* clock) { clock_.store(clock); }
    // One picture or access unit: S_OK, or MIXER_E_BAD_UNIT when refused (not read past
    // `length`) or dropped by the decoder.
    HRESULT Write(const uint8_t* data, uint32_t length, const VideoFrameInfo& info);
    // Copies the area shown onto the canvas (the mixer's thread); returns when the picture
    // shown arrived (0: no picture, or a fixed one).
    uint64_t DrawInto(CanvasArea* canvas);

  private:
    struct Layout {
        int32_t kind = kMixerInputPicture;
        int32_t cropMode = kCropStretch;
        Rect rect;
        int64_t borderWidth = 0;
        YuvColor border;
        YuvColor background;
    };

    // Draws the next area with `sourcePart` of `source` (or without a picture when null).
    void DrawBack(const AreaView* source, const Rect& sourcePart) REQUIRES(writeMutex_);
    void DrawBorder() REQUIRES(writeMutex_);
    // Shows the area just drawn.
    void SwapFront() REQUIRES(writeMutex_);
    // Draws the current picture again, for a new layout or canvas.
    void Redraw() REQUIRES(writeMutex_);
    HRESULT Refuse(const char* why, const VideoFrameInfo& info, uint32_t length);

    // Passed by argument.
    const int32_t handle_;
    const ModuleLog log_;

    // Others.
    platform::Mutex writeMutex_ ACQUIRED_BEFORE(frontMutex_);
    Layout layout_ GUARDED_BY(writeMutex_);
    Rect canvas_ GUARDED_BY(writeMutex_);
    std::vector<uint8_t> fixedPicture_ GUARDED_BY(writeMutex_);  // packed I420
    Rect fixedSize_ GUARDED_BY(writeMutex_);                     // empty: no fixed picture
    std::unique_ptr<H264Decoder> decoder_ GUARDED_BY(writeMutex_);
    std::unique_ptr<CanvasArea> back_ GUARDED_BY(writeMutex_);
    Rect backPicture_ GUARDED_BY(writeMutex_);               // where the picture lies in back_
    Rect frontPicture_ GUARDED_BY(writeMutex_);              // and in front_ (empty: none)
    uint64_t pictureArrivalUs_ GUARDED_BY(writeMutex_) = 0;  // of the last picture written

    platform::Mutex frontMutex_;
    std::unique_ptr<CanvasArea> front_ GUARDED_BY(frontMutex_);
    uint64_t frontArrivalUs_ GUARDED_BY(frontMutex_) = 0;

    std::atomic<IPlaySyncTime*> clock_{nullptr};
    std::atomic<uint64_t> refused_{0};  // thins the log lines of refused units
};

}  // namespace framework
