// Drives one local recording: makes the framework's screen recorder, opens the recording ring
// the host fills with sound blocks, and runs the thread that hands each block to the recorder.
//
// Owns the recorder (released in Release), the ring's named semaphore and block, and the reader
// thread. Owned by the ContextManager, one per recording.
// Threads: the pump thread calls every operation; the reader thread only reads the ring,
// advances its read index and calls the recorder's WriteData. The stop flag is the only state
// both touch; the recorder, the semaphore and the block change only while no reader runs (the
// thread starts after they exist and is joined before they go).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/WThread.h"
#include "interfaces/IComponentFactory.h"
#include "interfaces/IScreenRecorder.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"

namespace streammanager {

class ScreenRecord : public KESTREL::WThread {
  public:
    // `framework` may be null (every start then fails with E_FAIL).
    ScreenRecord(IUnknown* framework, int32_t port);
    ~ScreenRecord() override;

    // 0, or E_FAIL (no recorder, no ring), or the recorder's own code (everything released).
    int32_t StartRecord(const RecordParams& params, const char16_t* path);
    // Ends the reader (once the block it is handing on is done, or within one 100 ms wait when
    // no block comes), then stops the recorder; no block reaches the recorder after it.
    void StopRecord();
    void PauseRecord();
    void RestoreRecord();
    // Stops if needed and frees the recorder and the ring; a second call finds nothing to do.
    void Release();
    // The recorder, or null; for the pump thread's RecordTime.
    IScreenRecorder* Recorder() const { return recorder_; }

    int32_t ThreadProcEx() override;

  private:
    bool OpenRing();
    void SkipStaleSlots();
    // Takes the slot under the read index; false when its length is outside 0..2048 (refused).
    bool TakeSlot(uint8_t* buffer, int32_t* length);
    void NoteRefusedSlot(int32_t slot, int32_t length);

    IComponentFactory* framework_ = nullptr;
    IScreenRecorder* recorder_ = nullptr;
    int32_t port_ = 0;
    std::unique_ptr<platform::NamedSemaphore> semaphore_;
    std::unique_ptr<platform::NamedSharedMemory> ring_;
    uint8_t* view_ = nullptr;
    std::atomic<int32_t> stop_{0};
    uint64_t refusedSlots_ = 0;  // reader thread only
};

}  // namespace streammanager
