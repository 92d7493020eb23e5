// The receiver's reading of one input-stream index entry, as a host would leave it in a channel
// block. An input is byte 0: the channel (1, 2 MB of data, when even, else 2, 64 MB); 1-4: the read
// index word; 5-24: the entry; the rest: the unit's bytes, at the entry's offset where they fit.
// The entry is read from the slot the index points at (slot 0 past the last), the index to store
// stands after it, and its unit is taken exactly when it lies wholly inside the data area.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "media/input/InputStream.h"

using namespace streammanager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> blocks[2] = {
        std::vector<uint8_t>(kStreamIndexBytes + ChannelDataBytes(1)),
        std::vector<uint8_t>(kStreamIndexBytes + ChannelDataBytes(2))};
    if (size < 25) {
        return 0;
    }
    const uint32_t dataBytes = ChannelDataBytes(data[0] % 2 == 0 ? 1 : 2);
    uint8_t* base = blocks[data[0] % 2].data();
    const uint32_t index = LoadLittle32(data + 1);
    const StreamEntry entry = LoadStreamEntry(data + 5);
    if (entry.offset < dataBytes) {
        std::memcpy(base + kStreamIndexBytes + entry.offset, data + 25,
                    std::min<size_t>(size - 25, dataBytes - entry.offset));
    }
    const uint32_t slot = index < kStreamEntryCount ? index : 0;
    std::memcpy(base + kStreamEntriesOffset + slot * kStreamEntryBytes, data + 5, 20);
    StoreLittle32(base, index);

    const InputStream::Taken taken = InputStream::Locate(base, dataBytes);
    auto fields = [](const StreamEntry& e) {
        return std::make_tuple(e.type, e.mediaId, e.userId, e.length, e.valueA, e.valueB, e.offset);
    };
    const bool inside = uint64_t{entry.offset} + entry.length <= dataBytes;
    if (taken.nextIndex != slot + 1 || fields(taken.entry) != fields(entry) ||
        taken.unit != (inside ? base + kStreamIndexBytes + entry.offset : nullptr)) {
        std::fprintf(stderr, "stream_entry: not the entry under the index, or not its unit\n");
        std::abort();
    }
    return 0;
}
