// The screen recorder component (IScreenRecorder): records the X11 screen, a region of it or
// one window (X11Capture, on the recorder's own capture thread) with the sound the host hands to
// WriteData, into a fragmented MP4 or FLV file (RecordingOutput). Pictures take their time from
// the recording clock when they are captured; the sound keeps its own sample count (see
// RecordingOutput). While paused, pictures and sound are dropped and the clock stands still, so
// the file runs on without a gap. Start may follow Stop for a new recording. Stop waits for the
// picture being captured, at most one frame interval (x11grab paces its reads), then finishes
// the file.
//
// Owns the capture, the capture thread, the clock and the current recording's output (which
// WriteData callers share while they write to it). Made by the component factory and owned by
// whoever holds references (the program's ScreenRecord holds one); the last Release stops a
// recording still going.
// Threads: every operation may come from any thread (WriteData from the host's ring reader,
// the others from the control path); the capture thread captures, encodes and writes pictures.
// lifeMutex_ serialises Start and Stop (opening and closing the capture, starting and joining
// the thread) and comes first. mutex_ guards the state, the clock and the current output; it
// is held only briefly, never while capturing, encoding or writing. capture_ is opened and
// closed under lifeMutex_ while no capture thread runs, and read by that thread in between.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/RefCountedObject.h"
#include "framework/log/ModuleLog.h"
#include "framework/recorder/RecordClock.h"
#include "framework/recorder/RecordingOutput.h"
#include "framework/recorder/X11Capture.h"
#include "interfaces/IScreenRecorder.h"
#include "platform/Mutex.h"
#include "platform/Thread.h"

namespace framework {

class ScreenRecorder : public RefCountedObject<IScreenRecorder> {
  public:
    // Makes a recorder and returns its `iid` in *out (one reference).
    static HRESULT Create(const QXGUID& iid, void** out, const ModuleLog& log);
    explicit ScreenRecorder(const ModuleLog& log);

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    int32_t GetState() override;
    // S_FALSE when there is no recording to pause or resume.
    HRESULT SetPause(int32_t pause) override;
    // S_FALSE when nothing is recording; REC_E_FILE when the file could not be finished.
    HRESULT Stop() override;
    // S_OK when the block was recorded; S_FALSE when it was dropped (not recording, paused,
    // no sound in this recording, ahead of the clock); E_INVALIDARG for no data.
    HRESULT WriteData(const uint8_t* data, int32_t length) override;
    int32_t GetRecordTime() override;
    HRESULT Start(const RecordParams* params, const char16_t* path) override;

  private:
    ~ScreenRecorder() override;

    bool Recording() const REQUIRES(mutex_) {
        return state_ == kRecorderRecording || state_ == kRecorderPaused;
    }
    // Opens the capture (if the settings have video) and the output; the failure's reason in
    // `why`.
    HRESULT Open(const RecordSettings& settings, std::shared_ptr<RecordingOutput>* output,
                 std::string* why) REQUIRES(lifeMutex_);
    // The capture thread's body: pictures until Stop, or until capture fails.
    void Capture();

    // Passed by argument.
    const ModuleLog log_;

    platform::Mutex lifeMutex_ ACQUIRED_BEFORE(mutex_);
    platform::Thread thread_ GUARDED_BY(lifeMutex_);  // started by Start, joined by Stop
    X11Capture capture_;

    platform::Mutex mutex_;
    int32_t state_ GUARDED_BY(mutex_) = kRecorderIdle;
    RecordClock clock_ GUARDED_BY(mutex_);
    std::shared_ptr<RecordingOutput> output_ GUARDED_BY(mutex_);  // while recording
};

}  // namespace framework
