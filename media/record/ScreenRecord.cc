#include "media/record/ScreenRecord.h"

#include <cstring>

#include "base/Log.h"
#include "interfaces/QXIds.h"
#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"
#include "media/record/RecordRingRegistry.h"
#include "media/record/RingSlot.h"

namespace streammanager {

namespace {

constexpr uint32_t kWaitMs = 100;
constexpr uint64_t kRefusedLogInterval = 1000;

}  // namespace

ScreenRecord::ScreenRecord(IUnknown* framework, int32_t port)
    : framework_(static_cast<IComponentFactory*>(framework)), port_(port) {}

ScreenRecord::~ScreenRecord() {
    Release();
}

int32_t ScreenRecord::StartRecord(const RecordParams& params, const char16_t* path) {
    SC_DCHECK_RUN_ON(&pump_);
    SC_TRACE("streammanager::ScreenRecord::StartRecord");
    if (recorder_ == nullptr) {
        HRESULT result = E_FAIL;
        void* made = nullptr;
        if (framework_ != nullptr) {
            result = framework_->CreateComponent(CLSID_ScreenRecorder, IID_IScreenRecorder, nullptr,
                                                 &made);
        }
        recorder_.reset(static_cast<IScreenRecorder*>(made));
        if (recorder_ == nullptr) {
            SC_LOG("CreateComponent CLSID_ScreenRecorder failed,hr = %08x.\n",
                   static_cast<uint32_t>(result == S_OK ? E_FAIL : result));
            return result == S_OK ? E_FAIL : result;
        }
    }
    if (!OpenRing()) {
        Release();
        return E_FAIL;
    }
    stop_.exchange(0);
    if (!IsRunning()) {
        SkipStaleSlots();
        if (!StartThread(true)) {
            Release();
            return E_FAIL;
        }
    }
    const HRESULT result = recorder_->Start(&params, path);
    if (result != S_OK) {
        Release();
    }
    return result;
}

// The ring must exist before the reader starts: a wait on a missing semaphore would spin.
// It is kept for the process, so the host's handles reach every later recording too.
bool ScreenRecord::OpenRing() {
    if (ring_ == nullptr) {
        ring_ = RecordRingRegistry::Instance().Acquire(port_);
    }
    return ring_ != nullptr;
}

// Blocks the host released while no recording read the ring (before this one, between two
// recordings, or by an earlier run's writer) belong to no recording: they are skipped as if
// read, so the read index and the count stay in step with the writer.
void ScreenRecord::SkipStaleSlots() {
    const uint32_t stale = ring_->filled.Drain();
    if (stale == 0) {
        return;
    }
    uint8_t* view = ring_->memory.Data();
    int32_t slot = static_cast<int32_t>(LoadLittle32(view));
    slot = (slot < 0 || slot >= kRecordSlotCount ? 0 : slot) +
           static_cast<int32_t>(stale % kRecordSlotCount);
    StoreLittle32(view, static_cast<uint32_t>(slot % kRecordSlotCount));
    SC_LOG("ScreenRecord: skipped %u blocks released before the recording.\n", stale);
}

void ScreenRecord::StopRecord() {
    SC_DCHECK_RUN_ON(&pump_);
    SC_TRACE("streammanager::ScreenRecord::StopRecord");
    stop_.exchange(1);
    StopThread();
    if (recorder_ != nullptr) {
        recorder_->Stop();
    }
}

void ScreenRecord::PauseRecord() {
    SC_DCHECK_RUN_ON(&pump_);
    SC_TRACE("streammanager::ScreenRecord::PauseRecord");
    if (recorder_ != nullptr) {
        recorder_->SetPause(1);
    }
}

void ScreenRecord::RestoreRecord() {
    SC_DCHECK_RUN_ON(&pump_);
    SC_TRACE("streammanager::ScreenRecord::RestoreRecord");
    if (recorder_ != nullptr) {
        recorder_->SetPause(0);
    }
}

void ScreenRecord::Release() {
    SC_DCHECK_RUN_ON(&pump_);
    SC_TRACE("streammanager::ScreenRecord::Release");
    if (stop_.load() == 0) {
        StopRecord();
    }
    ring_ = nullptr;  // the ring itself stays open for the next recording
    recorder_.reset();
}

int32_t ScreenRecord::ThreadProcEx() {
    SC_LOG("ScreenRecord::ThreadProcEx:%p begin.\n", static_cast<void*>(this));
    uint8_t buffer[kRecordSlotDataBytes] = {};
    // The stop flag is looked at after every block: a host writing sound without a pause would
    // otherwise never let the wait time out.
    while (stop_.load() == 0) {
        if (!ring_->filled.WaitFor(kWaitMs)) {
            continue;
        }
        int32_t length = 0;
        if (TakeSlot(buffer, &length) && length > 0 && stop_.load() == 0) {
            recorder_->WriteData(buffer, length);
        }
    }
    SC_LOG("ScreenRecord::ThreadProcEx:%p end.\n", static_cast<void*>(this));
    return 0;
}

bool ScreenRecord::TakeSlot(uint8_t* buffer, int32_t* length) {
    uint8_t* view = ring_->memory.Data();
    const RingSlot taken = ReadRingSlot(view);
    *length = taken.length;
    StoreLittle32(view, static_cast<uint32_t>(taken.nextIndex));
    if (taken.refused) {
        NoteRefusedSlot(taken.slot, taken.length);
        return false;
    }
    std::memcpy(buffer, taken.data, static_cast<size_t>(taken.length));
    return true;
}

void ScreenRecord::NoteRefusedSlot(int32_t slot, int32_t length) {
    ++refusedSlots_;
    if (refusedSlots_ == 1 || refusedSlots_ % kRefusedLogInterval == 0) {
        SC_LOG("ScreenRecord: slot %d with length %d refused, refused so far: %llu.\n", slot,
               length, static_cast<unsigned long long>(refusedSlots_));
    }
}

}  // namespace streammanager
