// Drives one local recording: makes the framework's screen recorder, takes the recording ring
// the host fills with sound blocks from the RecordRingRegistry, and runs the thread that hands
// each block to the recorder.
//
// Owns the recorder (released in Release) and the reader thread; not the ring, which the
// registry keeps open until the process ends. Owned by the ContextManager, one per recording.
// Threads: the pump thread calls every operation (pump_ checks it); the reader thread only
// reads the ring,
// advances its read index and calls the recorder's WriteData. The stop flag is the only state
// both touch; the recorder and the ring change only while no reader runs (the thread starts
// after they exist and is joined before they go).
#pragma once

#include <atomic>
#include <cstdint>

#include "base/SequenceChecker.h"
#include "base/WThread.h"
#include "interfaces/IComponentFactory.h"
#include "interfaces/IScreenRecorder.h"
#include "interfaces/RefPtr.h"
#include "media/record/RecordRingRegistry.h"

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
    // Stops if needed and frees the recorder (the ring stays open); a second call finds nothing
    // to do.
    void Release();
    // The recorder, or null; for the pump thread's RecordTime.
    IScreenRecorder* Recorder() const { return recorder_.get(); }

    int32_t ThreadProcEx() override;

  private:
    bool OpenRing();
    // Before the reader starts.
    void SkipStaleSlots();
    // Takes the slot under the read index; false when its length is outside 0..2048 (refused).
    bool TakeSlot(uint8_t* buffer, int32_t* length);
    void NoteRefusedSlot(int32_t slot, int32_t length);

    KESTREL::SequenceChecker pump_;
    IComponentFactory* framework_ = nullptr;
    RefPtr<IScreenRecorder> recorder_;
    int32_t port_ = 0;
    RecordRingRegistry::Ring* ring_ = nullptr;  // the registry's, from the first start
    std::atomic<int32_t> stop_{0};
    uint64_t refusedSlots_ = 0;  // reader thread only
};

}  // namespace streammanager
