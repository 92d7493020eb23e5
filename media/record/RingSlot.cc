#include "media/record/RingSlot.h"

#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"

namespace streammanager {

RingSlot ReadRingSlot(const uint8_t* ring) {
    RingSlot taken;
    const auto index = static_cast<int32_t>(LoadLittle32(ring));
    taken.slot = index >= 0 && index < kRecordSlotCount ? index : 0;
    taken.nextIndex = taken.slot + 1;
    const uint8_t* at = ring + RecordSlotOffset(taken.slot);
    taken.length = static_cast<int32_t>(LoadLittle32(at));
    taken.refused = taken.length < 0 || taken.length > kRecordSlotDataBytes;
    taken.data = at + 4;
    return taken;
}

}  // namespace streammanager
