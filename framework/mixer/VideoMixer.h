// The video mixer component (IVideoMixer): composes its inputs onto the canvas once per frame
// of the output rate, in drawing order (bottom first), encodes the canvas with codec::H264Encoder
// and calls its owner back with each access unit. See MixerInput for how an input is drawn (and
// what the mixer does with its clock) and FrameSchedule for when frames are made.
//
// Owns its inputs, its thread, the encoder and the canvas. Made by the component factory and
// owned by whoever holds references (the program's Output holds one from Init to Uninit).
// Threads: any call may come from the control path and from receiver threads at once; the
// mixer's thread composes, encodes and calls back. mutex_ guards the inputs, the settings and
// the state (one enum, its table below); it is never held while an input is drawn or a frame
// is made.
// lifeMutex_ serialises Init and Uninit (starting and joining the thread) and comes first.
// The encoder, the canvas and the schedule belong to the mixer's thread (and to Uninit once it
// has joined that thread).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "codec/H264Encoder.h"
#include "framework/RefCountedObject.h"
#include "framework/log/ModuleLog.h"
#include "framework/mixer/CanvasArea.h"
#include "framework/mixer/CanvasClock.h"
#include "framework/mixer/EncoderLoad.h"
#include "framework/mixer/FrameSchedule.h"
#include "framework/mixer/MixerInput.h"
#include "interfaces/IVideoMixer.h"
#include "platform/ConditionVariable.h"
#include "platform/Mutex.h"
#include "platform/Thread.h"

namespace framework {

class VideoMixer : public RefCountedObject<IVideoMixer> {
  public:
    static constexpr int32_t kMaxCanvasWidth = 4096;
    static constexpr int32_t kMaxCanvasHeight = 2304;
    static constexpr int32_t kMaxFrameRate = 120;
    static constexpr int32_t kMinBitrate = 64000;

    // Makes a mixer and returns its `iid` in *out (one reference).
    static HRESULT Create(const QXGUID& iid, void** out, const ModuleLog& log);
    explicit VideoMixer(const ModuleLog& log);

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    HRESULT Init(void* owner, MixedVideoCallback callback, const VideoMixerParam* param,
                 IConfigCenter* config) override;
    HRESULT EnableOutput(int32_t enable) override;
    HRESULT SetOutputParam(const VideoMixerParam* param) override;
    HRESULT Uninit() override;
    int32_t AddInput(int32_t handle, int32_t positionHandle, const RenderPara* para) override;
    HRESULT DelInput(int32_t handle) override;
    HRESULT SetInputSyncTimer(int32_t handle, IPlaySyncTime* clock) override;
    HRESULT ResetInput(int32_t handle, int32_t reason, const RenderPara* para) override;
    HRESULT ResetAllInputParam(int32_t count, const int32_t* handles,
                               const RenderPara* paras) override;
    HRESULT WriteData(int32_t handle, const uint8_t* data, uint32_t length,
                      const VideoFrameInfo* info) override;
    HRESULT SetBitrate(int32_t bitsPerSecond) override;
    HRESULT RequestKeyFrame() override;
    int32_t GetEncoderLevel() override { return encoderLevel_.load(); }

    // Composes the inputs as the next frame would show them into `canvas`, without encoding:
    // for tests and benchmarks. False before the canvas is set up or after Uninit.
    bool ComposeFrame(CanvasArea* canvas);

  private:
    using InputList = std::vector<std::shared_ptr<MixerInput>>;

    //   state        event                                  next
    //   kCreated     Init                                   kOff
    //   kOff         EnableOutput(1)                        kOn (the frames count from now)
    //   kOn          a frame is due (with a canvas)         kMaking
    //   kMaking      the frame is made                      kOn
    //   kOn          EnableOutput(0)                        kOff
    //   kMaking      EnableOutput(0) (waits for the frame)  kTurningOff, then kOff
    //   kTurningOff  EnableOutput(1)                        kMaking
    //   any but      Uninit                                 kFinished: nothing works again
    //   kCreated
    enum class State { kCreated, kOff, kOn, kMaking, kTurningOff, kFinished };

    ~VideoMixer() override;

    // The encoder settings of `param`, or a failure result (logged).
    HRESULT ReadSettings(const VideoMixerParam& param, codec::H264Settings* settings)
        REQUIRES(mutex_);
    std::shared_ptr<MixerInput> Find(int32_t handle, HRESULT* result) EXCLUDES(mutex_);
    // Puts `input` just below `positionHandle` (on top when there is none).
    int32_t Insert(std::shared_ptr<MixerInput> input, int32_t positionHandle) REQUIRES(mutex_);
    bool OnMixerThread() REQUIRES(mutex_);
    bool Ready() const REQUIRES(mutex_) {
        return state_ != State::kCreated && state_ != State::kFinished;
    }
    // A canvas was accepted (settings are valid only then).
    bool Configured() const REQUIRES(mutex_) { return settings_.frameRate > 0; }
    // Draws the inputs; returns when the newest picture drawn arrived (0: none).
    static uint64_t Compose(const InputList& inputs, int32_t width, int32_t height,
                            CanvasArea* canvas);
    void Run();
    void MakeFrame(const codec::H264Settings& settings, int32_t bitrate, const InputList& inputs,
                   uint64_t dueUs, void* owner, MixedVideoCallback callback);
    // After a frame made in `makeUs`: the encoder's level for the load (mixer's thread).
    void WeighLoad(uint64_t nowUs, uint64_t makeUs, uint64_t missed, int32_t frameRate)
        REQUIRES(mutex_);

    // Passed by argument.
    const ModuleLog log_;

    platform::Mutex lifeMutex_ ACQUIRED_BEFORE(mutex_);
    platform::Thread thread_ GUARDED_BY(lifeMutex_);  // started by Init, joined by Uninit

    platform::Mutex mutex_;
    // Any change of the state, the settings or the inputs, and the end of a frame.
    platform::ConditionVariable changed_;
    State state_ GUARDED_BY(mutex_) = State::kCreated;
    // The rate the thread's frame schedule runs at; 0: it starts again at the next frame.
    int32_t scheduledRate_ GUARDED_BY(mutex_) = 0;
    std::thread::id mixerThread_ GUARDED_BY(mutex_);
    void* owner_ GUARDED_BY(mutex_) = nullptr;
    MixedVideoCallback callback_ GUARDED_BY(mutex_) = nullptr;
    std::string preset_ GUARDED_BY(mutex_) = "veryfast";
    codec::H264Settings settings_ GUARDED_BY(mutex_);
    int32_t bitrate_ GUARDED_BY(mutex_) = 0;  // SetBitrate's; 0: the settings'
    std::atomic<bool> keyFrameRequested_{false};
    InputList inputs_ GUARDED_BY(mutex_);      // drawing order, bottom first
    std::atomic<uint64_t> unknownHandles_{0};  // thins the log lines of unknown handles

    // The mixer's thread's own.
    FrameSchedule schedule_;
    CanvasClock canvasClock_;
    EncoderLoad load_;
    std::atomic<int32_t> encoderLevel_{0};
    codec::H264Encoder encoder_;
    CanvasArea canvas_;
    std::vector<uint8_t> unit_;
    uint32_t frameNumber_ = 0;
    std::atomic<uint64_t> encodeFailures_{0};
};

}  // namespace framework
