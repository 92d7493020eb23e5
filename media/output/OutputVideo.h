// The video side of an output: one record per video input of the layout, which inputs the
// mixer draws where, the pictures and frames the inputs deliver, and each input's picture size.
// When the layout names no video input, the default input 99 fills the canvas with a default
// picture.
//
// Owns the records; keeps the mixer, the context (as IInputBooking), the pushers and the two
// default pictures as plain pointers (all owned by the Output, which outlives this). A member
// of the Output.
// Threads: SetVideoOutputParama and RemoveMediaInput on the control path; OnMediaData and
// SetSyncTimer on the inputs' receiver threads. lock_ (the output's video lock) guards the
// records and the mixer pointer; a receiver thread holds it while it looks at its record (and
// tells the mixer of a new input or picture size), but hands the unit itself to the mixer
// with it released, so one input's slow decode holds up no other input. The control path
// calls the context and the mixer's AddInput and DelInput with it released.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/SequenceChecker.h"
#include "base/WLock.h"
#include "interfaces/IVideoMixer.h"
#include "media/input/MediaTypes.h"
#include "media/output/IInputBooking.h"
#include "media/output/OutputParams.h"
#include "media/output/PusherList.h"

namespace streammanager {

constexpr int32_t kDefaultVideoHandle = 99;

struct VideoInputRecord {
    int32_t handle = 0;
    bool inMixer = false;
    int32_t index = 0;
    IPlaySyncTime* clock = nullptr;
    int32_t cropMode = 1;
    int32_t borderWidth = 0;
    RgbColor border{0, 0, 0};
    RgbColor background{0, 0, 0};
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t sourceWidth = 0;  // the picture size last told to the mixer
    int32_t sourceHeight = 0;
    int32_t frameCount = 0;  // frames in the current measuring window
    uint32_t windowStart = 0;
};

class OutputVideo {
  public:
    using TickSource = uint32_t (*)();
    // One frame-rate line per input for this many frames.
    static constexpr int32_t kRateWindowFrames = 750;

    OutputVideo(PusherList* pushers, TickSource tick);
    OutputVideo(const OutputVideo&) = delete;
    OutputVideo& operator=(const OutputVideo&) = delete;

    void Attach(IInputBooking* context, int32_t contextId, const PicInfo* withSound,
                const PicInfo* withoutSound);
    // The mixer, once made, and the format it was made with.
    void SetMixer(IVideoMixer* mixer, const VideoMixerParam& format);
    // 0, or E_FAIL (the mixer's output then stays off until the next command succeeds).
    // `meta` goes to the pushers (picture keys as the mixer encodes it) before the mixer runs
    // again, so the first key frame after the command carries it.
    int32_t SetVideoOutputParama(const VideoEncodeParam& encode, const VideoOutputParam& layout,
                                 int32_t hasAudioStream, StreamMetaData meta);
    void RemoveMediaInput(uint8_t mediaType, int32_t handle);
    // The mixer's encoder, from any thread: a key frame next; a bitrate changed in place.
    void RequestKeyFrame();
    void SetBitrate(int32_t bitsPerSecond);
    int32_t EncoderLevel();
    int32_t SetSyncTimer(int32_t handle, IPlaySyncTime* clock);
    void OnMediaData(int32_t handle, const MediaDataDesc& desc, const uint8_t* data,
                     uint32_t length);

    // 1 for raw pictures (media types 3 and 6), else 0.
    static int32_t GetInputType(uint8_t mediaType);
    // A copy of the record, for tests; false when there is none.
    bool Record(int32_t handle, VideoInputRecord* record);

  private:
    void UnBookDefaultVideoInput();
    void RemoveUnlistedVideoInputs(const VideoOutputParam& layout);
    void UpdateVideoInputs(const VideoOutputParam& layout);
    void BookDefaultVideoInput(const VideoOutputParam& layout, int32_t hasAudioStream);
    int32_t BookNewVideoInput(const VideoOutputParam& layout, int32_t hasAudioStream);
    int32_t ResetVideoInputLayout();
    void CheckResolution(int32_t handle, const MediaDataDesc& desc, VideoInputRecord* record)
        REQUIRES(lock_);
    int32_t AddToVideoMixer(int32_t handle, const MediaDataDesc& desc, VideoInputRecord* record)
        REQUIRES(lock_);
    int32_t FindInputAbove(int32_t index) REQUIRES(lock_);
    static void WriteDataForVideoMixer(IVideoMixer* mixer, const MediaDataDesc& desc,
                                       int32_t handle, const uint8_t* data, uint32_t length);
    void CountFrame(int32_t handle, VideoInputRecord* record) REQUIRES(lock_);
    // The record's crop mode for pictures of width × height: fill (2) only for wide ones.
    static int32_t CropModeFor(int32_t cropMode, int32_t width, int32_t height);
    static RenderPara ParaOf(int32_t kind, int32_t cropMode, const VideoInputRecord& record);

    // Passed by argument; not owned.
    PusherList* const pushers_;
    const TickSource tick_;
    IInputBooking* context_ = nullptr;  // set by Attach, before any unit
    int32_t contextId_ = 0;
    const PicInfo* withSound_ = nullptr;
    const PicInfo* withoutSound_ = nullptr;

    // The control path's own (control_ checks it).
    KESTREL::SequenceChecker control_;
    VideoMixerParam mixerFormat_ GUARDED_BY(control_){};
    int32_t canvasWidth_ GUARDED_BY(control_) = 0;
    int32_t canvasHeight_ GUARDED_BY(control_) = 0;
    int32_t frameRate_ GUARDED_BY(control_) = 0;

    KESTREL::WLock lock_;
    IVideoMixer* mixer_ GUARDED_BY(lock_) = nullptr;
    std::unordered_map<int32_t, VideoInputRecord> records_ GUARDED_BY(lock_);
};

}  // namespace streammanager
