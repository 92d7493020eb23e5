// One slot of the recording ring through the reader's slot parsing: the read index word, then the
// slot (length word, data), written where the index points and to slot 0. The slot taken must be
// the index's (slot 0 outside the ring), the index must step past it, and a length of 0 to 2048
// gives that many bytes (read under ASan from a ring of exactly its size), any other none.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"
#include "media/record/RingSlot.h"

using namespace streammanager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> ring(kRecordRingBytes);
    if (size < 8) {
        return 0;
    }
    const auto index = static_cast<int32_t>(LoadLittle32(data));
    const int32_t slot = index >= 0 && index < kRecordSlotCount ? index : 0;
    const size_t given = std::min<size_t>(size - 4, kRecordSlotBytes);
    for (const int32_t at : {0, slot}) {
        std::memset(ring.data() + RecordSlotOffset(at), 0, kRecordSlotBytes);
        std::memcpy(ring.data() + RecordSlotOffset(at), data + 4, given);
    }
    std::memcpy(ring.data(), data, 4);
    const RingSlot taken = ReadRingSlot(ring.data());
    const auto length = static_cast<int32_t>(LoadLittle32(data + 4));
    bool right = taken.slot == slot && taken.nextIndex == slot + 1 && taken.length == length &&
                 taken.refused == (length < 0 || length > kRecordSlotDataBytes);
    if (right && !taken.refused) {
        std::vector<uint8_t> expected(data + 8, data + std::min<size_t>(size, 8 + length));
        expected.resize(static_cast<size_t>(length));
        right = std::equal(expected.begin(), expected.end(), taken.data);
    }
    if (!right) {
        std::fprintf(stderr, "record_ring: not the slot under the read index, or not its data\n");
        std::abort();
    }
    return 0;
}
