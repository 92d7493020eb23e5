// One slot of the recording ring as the reader takes it, read from the ring's bytes alone: the
// slot the read index points at (slot 0 for an index outside the ring), the read index that
// follows it, and whether its length word is one the reader accepts. Pure; any thread.
#pragma once

#include <cstdint>

namespace streammanager {

struct RingSlot {
    int32_t slot = 0;
    int32_t nextIndex = 0;          // the read index after the slot is taken
    int32_t length = 0;             // the length word as the host wrote it
    bool refused = false;           // a length outside 0..2048
    const uint8_t* data = nullptr;  // the slot's data; `length` bytes unless refused
};

// The slot under the read index of `ring`, a whole ring of kRecordRingBytes.
RingSlot ReadRingSlot(const uint8_t* ring);

}  // namespace streammanager
