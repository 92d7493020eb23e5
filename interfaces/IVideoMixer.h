// The video mixer: composes the pictures of a context's video inputs onto one canvas at the
// output frame rate, encodes the canvas to H.264 and hands each access unit to its owner.
//
// One mixer per Output, made through the component factory (CLSID_VideoMixer) and driven by
// its owner: Init, then inputs come and go (AddInput, DelInput, ResetInput,
// ResetAllInputParam) and pictures arrive (WriteData), until Uninit. Every call may come from
// the control path and from several receiver threads at once. The callback runs on the mixer's
// own thread; it must not call Uninit or EnableOutput(0), which wait for that thread.
#pragma once

#include <cstdint>

#include "interfaces/IConfigCenter.h"
#include "interfaces/IPlaySyncTime.h"
#include "interfaces/IUnknown.h"

// A colour as the host gives it; each component is clamped to 0..255.
struct RgbColor {
    int32_t red;
    int32_t green;
    int32_t blue;
};

// One planar I420 picture: width × height luma bytes, then the two chroma planes of
// ((width + 1) / 2) × ((height + 1) / 2) bytes each. The data belongs to the caller.
struct PicInfo {
    char fourcc[4];  // "I420"
    int32_t width;
    int32_t height;
    uint8_t* data;  // null: no picture (the input's background shows)
    uint32_t size;  // bytes at data
};

// Input kinds of RenderPara.
constexpr int32_t kMixerInputEncoded = 0;  // H.264 access units (Annex B), decoded by the mixer
constexpr int32_t kMixerInputPicture = 1;  // I420 pictures

// Crop modes: how an input's picture fills its rectangle. Any other value stretches.
constexpr int32_t kCropStretch = 1;  // scaled to the rectangle, aspect ignored
constexpr int32_t kCropFill = 2;     // scaled to cover it, the overflow cut evenly
constexpr int32_t kCropFit = 3;      // whole and centred, background around it

// Where and how one input is drawn. The pointers need only stay valid during the call.
struct RenderPara {
    int32_t inputKind;
    int32_t cropMode;
    int32_t x;  // the rectangle on the canvas; parts off the canvas are cut, an empty or
    int32_t y;  // negative size draws nothing
    int32_t width;
    int32_t height;
    int32_t borderWidth;          // pixels inside the rectangle's edge; 0: no border
    const RgbColor* borderColor;  // null: black
    const PicInfo* picture;       // a fixed picture to show (default pictures); null: none
    const RgbColor* background;   // fills what the picture leaves; null: black
};

// One unit for WriteData.
struct VideoFrameInfo {
    int32_t codecId;
    char fourcc[4];
    int32_t width;  // of a picture: the data must hold its whole I420 size
    int32_t height;
    uint32_t timestamp;  // milliseconds of the input's playback clock
    int32_t keyFrame;
    uint64_t arrivalUs;  // when it entered the process (monotonic clock); 0: unknown
};

// The mixer's parameter block: words 2 to 25 of the context's encoding block. The mixer reads
// the named words; the context fills the others with fixed values that named settings of the
// encoder this design first ran on. This mixer takes those settings from the configuration
// centre instead (preset "VideoMixer.Preset"; tune zerolatency, no B-frames, always).
struct VideoMixerParam {
    int32_t useFrameRate;       // word 2: 1 (always, from the context): the rate is frameRate
    int32_t fallbackFrameRate;  // word 3: the frame rate when useFrameRate is 0
    int32_t unnamed4to13[10];   // words 4 to 13: zero
    int32_t word14;             // 5 from the context; not read
    int32_t width;              // word 15: canvas width, 2 to 4096 (an odd width loses a column)
    int32_t height;             // word 16: canvas height, 2 to 2304 (an odd height loses a row)
    int32_t frameRate;          // word 17: frames per second, 1 to 120
    int32_t word18;             // 3 from the context; not read
    int32_t word19;             // 1 from the context; not read
    int32_t bitrate;            // word 20: bits per second; below 64000 (0 too) runs at 64000
    int32_t word21;             // 80 from the context; not read
    int32_t keyFrameInterval;   // word 22: frames from one key frame to the next; 0: 2 × rate
    int32_t unnamed23to25[3];   // words 23 to 25: zero
};
static_assert(sizeof(VideoMixerParam) == 24 * sizeof(int32_t), "words 2 to 25");

// Each encoded canvas frame: data starts with 8 bytes of the mixer's own (the canvas's media
// time, milliseconds of the monotonic clock cut to 32 bits: the arrival of the newest picture
// it shows, or its due time when nothing new came; and the frame number; each u32
// little-endian), then the access unit in Annex B with 4-byte start codes (SPS and PPS before
// every key frame). keyFrame is 1 for an IDR.
using MixedVideoCallback = void (*)(void* owner, const uint8_t* data, uint32_t length,
                                    int32_t keyFrame);

// Results besides S_OK and E_INVALIDARG (a null pointer, a count of 0 or less).
constexpr HRESULT MIXER_E_NOT_READY = static_cast<HRESULT>(0x80040300u);   // before Init, after
                                                                           // Uninit, in callback
constexpr HRESULT MIXER_E_BAD_CANVAS = static_cast<HRESULT>(0x80040301u);  // size or rate refused
constexpr HRESULT MIXER_E_NO_INPUT = static_cast<HRESULT>(0x80040302u);    // unknown handle
constexpr HRESULT MIXER_E_INPUT_EXISTS = static_cast<HRESULT>(0x80040303u);
constexpr HRESULT MIXER_E_BAD_UNIT = static_cast<HRESULT>(0x80040304u);  // refused, not read

class IVideoMixer : public IUnknown {
  public:
    // Opens the encoder for `param` and starts the mixer's thread; output starts disabled.
    virtual HRESULT Init(void* owner, MixedVideoCallback callback, const VideoMixerParam* param,
                         IConfigCenter* config) = 0;
    // 0: no composing and no callbacks from the time it returns; 1: again, from now on.
    virtual HRESULT EnableOutput(int32_t enable) = 0;
    // A new size, frame rate or bitrate reopens the encoder; its first frame is a key frame.
    virtual HRESULT SetOutputParam(const VideoMixerParam* param) = 0;
    // Stops the thread and frees everything; later calls answer MIXER_E_NOT_READY.
    virtual HRESULT Uninit() = 0;
    // Adds an input drawn just below `positionHandle` (-1, or a handle the mixer lacks: on
    // top of all). 0, or a failure result.
    virtual int32_t AddInput(int32_t handle, int32_t positionHandle, const RenderPara* para) = 0;
    virtual HRESULT DelInput(int32_t handle) = 0;
    // The input's playback clock (see the mixer's header for what it does with it).
    virtual HRESULT SetInputSyncTimer(int32_t handle, IPlaySyncTime* clock) = 0;
    // New parameters for one input (`reason` -2: its pictures changed size).
    virtual HRESULT ResetInput(int32_t handle, int32_t reason, const RenderPara* para) = 0;
    // The whole layout in drawing order, bottom first; negative on failure.
    virtual HRESULT ResetAllInputParam(int32_t count, const int32_t* handles,
                                       const RenderPara* paras) = 0;
    // One picture (input kind 1) or access unit (kind 0); the data is not kept.
    virtual HRESULT WriteData(int32_t handle, const uint8_t* data, uint32_t length,
                              const VideoFrameInfo* info) = 0;
    // The encoder's bitrate from the next frame on, changed in place (no key frame): what the
    // links carry. Below 64000 runs at 64000; 0 goes back to the bitrate of SetOutputParam,
    // which also ends such a change.
    virtual HRESULT SetBitrate(int32_t bitsPerSecond) = 0;
    // The next frame is a key frame, with its parameter sets.
    virtual HRESULT RequestKeyFrame() = 0;
    // How hard the encoder works to keep the frame rate: 0 as configured, 1 sliced threads,
    // 2 and 3 faster presets.
    virtual int32_t GetEncoderLevel() = 0;
};
