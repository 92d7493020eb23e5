// The receiving end of one stream channel, taking entries the way StreamCourier's receiver
// does (the semaphore, the entry at the read index, the index advanced before the unit is
// read) with nothing but the named objects and the layout.
#pragma once

#include <cstdint>
#include <vector>

#include "interfaces/StreamChannel.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"
#include "tests/fakes/ChannelPort.h"

namespace qxhost {

class ChannelReader {
  public:
    ChannelReader(uint8_t channel, int32_t port) : channel_(channel), port_(port) {}

    // Opens the channel's objects, creating them when the writer has not.
    bool Open() {
        return semaphore_.Open(streammanager::StreamSemaphoreName(channel_, port_), 0) &&
               memory_.Open(streammanager::StreamMemoryName(channel_, port_),
                            streammanager::kStreamIndexBytes + DataBytes());
    }

    // `unit` gets the entry's bytes, or stays empty when it points past the data area.
    bool Take(uint32_t timeoutMs, streammanager::StreamEntry* entry, std::vector<uint8_t>* unit) {
        if (!semaphore_.WaitFor(timeoutMs)) {
            return false;
        }
        const uint32_t index = ReadIndex() >= streammanager::kStreamEntryCount ? 0 : ReadIndex();
        *entry =
            streammanager::LoadStreamEntry(memory_.Data() + streammanager::kStreamEntriesOffset +
                                           index * streammanager::kStreamEntryBytes);
        SetReadIndex(index + 1);
        unit->clear();
        if (uint64_t{entry->offset} + entry->length <= DataBytes()) {
            const uint8_t* bytes =
                memory_.Data() + streammanager::kStreamIndexBytes + entry->offset;
            unit->assign(bytes, bytes + entry->length);
        }
        return true;
    }
    // True when the semaphore holds no release (takes one if it does).
    bool NoReleaseLeft() { return !semaphore_.WaitFor(0); }

    // Stored atomically: a writer on another thread may watch it.
    uint32_t ReadIndex() const {
        return __atomic_load_n(reinterpret_cast<const uint32_t*>(memory_.Data()), __ATOMIC_ACQUIRE);
    }
    void SetReadIndex(uint32_t index) {
        __atomic_store_n(reinterpret_cast<uint32_t*>(memory_.Data()), index, __ATOMIC_RELEASE);
    }

  private:
    uint32_t DataBytes() const { return streammanager::ChannelDataBytes(channel_); }

    const uint8_t channel_;
    const int32_t port_;
    platform::NamedSemaphore semaphore_;
    platform::NamedSharedMemory memory_;
};

}  // namespace qxhost
