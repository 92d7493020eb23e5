// The receiver of one shared-memory stream channel of one port: a thread that waits on the
// channel's named semaphore, takes the next index entry and hands the unit (not copied) to
// every listening context. One receiver per channel and port serves the whole process
// (ReceiverRegistry), so contexts never steal each other's entries.
//
// Owns the channel's named semaphore and block (opened on the first start, closed with the
// receiver, so stopping the thread keeps them) and its thread; not the targets (the contexts).
// Owned by the ReceiverRegistry until the process ends.
// Threads: the pump thread starts, stops and adds or removes targets; the receiver thread
// delivers.
// targetsLock_ guards the target list and is held during a delivery, so once RemoveTarget
// returns that target receives nothing more. Lock order: targetsLock_, then the protocol's.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/WThread.h"
#include "interfaces/StreamChannel.h"
#include "media/input/IStreamDataTarget.h"
#include "platform/Mutex.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"

namespace streammanager {

class InputStream : public KESTREL::WThread {
  public:
    InputStream(uint8_t channel, int32_t port) : channel_(channel), port_(port) {}
    ~InputStream() override;

    // 0, or E_FAIL when the semaphore or the block cannot be opened (no thread then).
    // A second call reuses them and starts the thread only if none runs.
    int32_t StartReceive();
    // Returns once the thread has ended (within about one 50 ms wait).
    void StopReceive();
    // Asks the thread to end without waiting, so several receivers can stop together.
    void RequestStop() { stop_.store(true); }
    int32_t ThreadProcEx() override;

    void AddTarget(IStreamDataTarget* target);
    void RemoveTarget(IStreamDataTarget* target);

    // What the read index of the channel block at `base` points at: the entry (slot 0 for an
    // index past the last), the index to store once it is taken, and its unit, or null when the
    // unit does not lie wholly inside the `dataSize` bytes of the data area.
    struct Taken {
        StreamEntry entry;
        uint32_t nextIndex;
        const uint8_t* unit;
    };
    static Taken Locate(const uint8_t* base, uint32_t dataSize);

    uint8_t Channel() const { return channel_; }
    // Entries that pointed past the data area and were dropped.
    uint64_t DroppedEntries() const { return dropped_.load(); }

  private:
    void SkipStaleEntries();
    void TakeEntry();
    void Deliver(const StreamEntry& entry, const uint8_t* unit);
    void NoteDropped(const StreamEntry& entry);

    // Passed by argument.
    const uint8_t channel_;
    const int32_t port_;

    // Opened on the first start, closed at destruction.
    platform::NamedSemaphore semaphore_;
    platform::NamedSharedMemory block_;
    uint8_t* base_ = nullptr;
    uint32_t dataSize_ = 0;

    // Others.
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> dropped_{0};
    platform::Mutex targetsLock_;
    std::vector<IStreamDataTarget*> targets_ GUARDED_BY(targetsLock_);
};

}  // namespace streammanager
