#include "media/input/InputStream.h"

#include <algorithm>

#include "base/Log.h"
#include "interfaces/QXTypes.h"

namespace streammanager {

namespace {
constexpr uint32_t kWaitMs = 50;
constexpr uint64_t kDropLogInterval = 1000;
}  // namespace

InputStream::~InputStream() {
    StopReceive();
    semaphore_.Close();
    block_.Close();
}

int32_t InputStream::StartReceive() {
    if (!semaphore_.IsOpen()) {
        semaphore_.Open(StreamSemaphoreName(channel_, port_), 0);
    }
    if (!block_.IsOpen()) {
        dataSize_ = ChannelDataBytes(channel_);
        block_.Open(StreamMemoryName(channel_, port_), dataSize_ + kStreamIndexBytes);
        base_ = block_.Data();
    }
    if (!semaphore_.IsOpen() || base_ == nullptr) {
        return E_FAIL;
    }
    if (IsRunning()) {
        return 0;
    }
    SkipStaleEntries();
    stop_.store(false);
    return StartThread(true, nullptr) ? 0 : E_FAIL;
}

// Entries released while no receiver thread ran (before this process first opened the channel,
// by an earlier run's writer, or between the last context's end and the next context) are
// skipped, as if taken: a new context starts with what is current, not with a burst of old
// units (after 1000 of them, entries the writer has since overwritten), and the read index and
// the semaphore's count stay in step with what the writer publishes from now on.
void InputStream::SkipStaleEntries() {
    const uint32_t stale = semaphore_.Drain();
    if (stale == 0) {
        return;
    }
    uint32_t index = LoadLittle32(base_);
    index = (index >= kStreamEntryCount ? 0 : index) + stale % kStreamEntryCount;
    StoreLittle32(base_, index % kStreamEntryCount);
    SC_LOG("InputStream: channel %d skipped %u entries released before it started.\n", channel_,
           stale);
}

void InputStream::StopReceive() {
    SC_TRACE("streammanager::InputStream::StopReceive");
    stop_.store(true);
    StopThread();
}

void InputStream::AddTarget(IStreamDataTarget* target) {
    platform::MutexLock lock(targetsLock_);
    if (std::find(targets_.begin(), targets_.end(), target) == targets_.end()) {
        targets_.push_back(target);
    }
}

void InputStream::RemoveTarget(IStreamDataTarget* target) {
    platform::MutexLock lock(targetsLock_);
    targets_.erase(std::remove(targets_.begin(), targets_.end(), target), targets_.end());
}

int32_t InputStream::ThreadProcEx() {
    SC_LOG("InputStream::ThreadProcEx:%p begin.\n", static_cast<void*>(this));
    SC_LOG("shared memory address:%p \n", static_cast<void*>(base_));
    while (!stop_.load()) {
        if (semaphore_.WaitFor(kWaitMs)) {
            TakeEntry();
        }
    }
    SC_LOG("InputStream::ThreadProcEx:%p end.\n", static_cast<void*>(this));
    return 0;
}

InputStream::Taken InputStream::Locate(const uint8_t* base, uint32_t dataSize) {
    uint32_t index = LoadLittle32(base);
    if (index >= kStreamEntryCount) {
        index = 0;
    }
    Taken taken;
    taken.entry = LoadStreamEntry(base + kStreamEntriesOffset +
                                  static_cast<size_t>(index) * kStreamEntryBytes);
    taken.nextIndex = index + 1;
    const bool inside = static_cast<uint64_t>(taken.entry.offset) + taken.entry.length <= dataSize;
    taken.unit = inside ? base + kStreamIndexBytes + taken.entry.offset : nullptr;
    return taken;
}

void InputStream::TakeEntry() {
    const Taken taken = Locate(base_, dataSize_);
    StoreLittle32(base_, taken.nextIndex);
    if (taken.unit == nullptr) {
        NoteDropped(taken.entry);
        return;
    }
    Deliver(taken.entry, taken.unit);
}

void InputStream::Deliver(const StreamEntry& entry, const uint8_t* unit) {
    platform::MutexLock lock(targetsLock_);
    for (IStreamDataTarget* target : targets_) {
        target->OnStreamData(entry.type, entry.mediaId, unit, entry.length, entry.userId,
                             entry.valueA, entry.valueB);
    }
}

void InputStream::NoteDropped(const StreamEntry& entry) {
    const uint64_t dropped = dropped_.fetch_add(1) + 1;
    if (dropped == 1 || dropped % kDropLogInterval == 0) {
        SC_LOG(
            "InputStream::TakeEntry, entry past the data area dropped, channel: %d, offset: "
            "%u, length: %u, dropped so far: %llu.\n",
            channel_, entry.offset, entry.length, static_cast<unsigned long long>(dropped));
    }
}

}  // namespace streammanager
