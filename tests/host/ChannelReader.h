// The receiving end of one stream channel, for tests of the host's writers: takes entries the
// way StreamCourier's receiver does (the semaphore, the entry at the read index, the index
// advanced before the unit is read) with nothing but the named objects and the layout.
// One thread uses it; it stores the read index atomically so that a writer on another thread
// may watch it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "media/StreamChannel.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"
#include "platform/ProcessId.h"

namespace qxhost {

class ChannelReader {
  public:
    ChannelReader(uint8_t channel, int32_t port) : channel_(channel), port_(port) {}

    // Opens the channel's objects, creating them when the writer has not.
    bool Open() {
        const uint32_t size =
            streammanager::kStreamIndexBytes + streammanager::ChannelDataBytes(channel_);
        return semaphore_.Open(streammanager::StreamSemaphoreName(channel_, port_), 0) &&
               memory_.Open(streammanager::StreamMemoryName(channel_, port_), size);
    }
    bool Created() const { return memory_.Created(); }

    // Takes the next entry released within timeoutMs. `unit` gets its bytes, or stays empty
    // when the entry points past the data area.
    bool Take(uint32_t timeoutMs, streammanager::StreamEntry* entry, std::vector<uint8_t>* unit) {
        if (!semaphore_.WaitFor(timeoutMs)) {
            return false;
        }
        const uint32_t index = ReadIndex() >= streammanager::kStreamEntryCount ? 0 : ReadIndex();
        *entry = streammanager::LoadStreamEntry(Base() + streammanager::kStreamEntriesOffset +
                                                index * streammanager::kStreamEntryBytes);
        SetReadIndex(index + 1);
        unit->clear();
        if (uint64_t{entry->offset} + entry->length <= DataBytes()) {
            const uint8_t* bytes = Base() + streammanager::kStreamIndexBytes + entry->offset;
            unit->assign(bytes, bytes + entry->length);
        }
        return true;
    }
    // True when the semaphore holds no release. Takes one if it does: for the end of a test.
    bool NoReleaseLeft() { return !semaphore_.WaitFor(0); }

    // The raw read index as stored (the receiver may store 1000 for 0).
    uint32_t ReadIndex() const {
        return __atomic_load_n(reinterpret_cast<const uint32_t*>(Base()), __ATOMIC_ACQUIRE);
    }
    void SetReadIndex(uint32_t index) {
        __atomic_store_n(reinterpret_cast<uint32_t*>(Base()), index, __ATOMIC_RELEASE);
    }
    uint32_t DataBytes() const { return streammanager::ChannelDataBytes(channel_); }

  private:
    uint8_t* Base() const { return memory_.Data(); }

    const uint8_t channel_;
    const int32_t port_;
    platform::NamedSemaphore semaphore_;
    platform::NamedSharedMemory memory_;
};

// A port number of this test process, beyond the TCP range so that no real session's names
// are touched; `offset` (below 100) tells the channels of one process apart.
inline int32_t TestPort(int32_t offset) {
    return 100000 + static_cast<int32_t>(platform::CurrentProcessId() % 100000) * 100 + offset;
}

}  // namespace qxhost
