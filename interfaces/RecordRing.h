// The recording ring, as the host writes it: a read index (this process's), a reserved word,
// then 2000 slots, each a signed 32-bit length and 2048 bytes of data; the host fills slots in
// order, wrapping after the last, and releases the semaphore once per slot. Little-endian.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace streammanager {

constexpr int32_t kRecordSlotCount = 2000;
constexpr int32_t kRecordSlotDataBytes = 2048;
constexpr uint32_t kRecordSlotBytes = 4 + kRecordSlotDataBytes;
constexpr uint32_t kRecordSlotsOffset = 8;
constexpr uint32_t kRecordRingBytes = kRecordSlotsOffset + kRecordSlotCount * kRecordSlotBytes;
static_assert(kRecordRingBytes == 4104008, "ring size");
constexpr uint32_t kRecordSemaphoreMaximum = 100000;

inline uint32_t RecordSlotOffset(int32_t slot) {
    return kRecordSlotsOffset + static_cast<uint32_t>(slot) * kRecordSlotBytes;
}

inline std::string RecordSemaphoreName(int32_t port) {
    char name[64];
    std::snprintf(name, sizeof(name), "/SemScreenRecord%d", port);
    return name;
}

inline std::string RecordMemoryName(int32_t port) {
    char name[64];
    std::snprintf(name, sizeof(name), "/MemScreenRecord%d", port);
    return name;
}

}  // namespace streammanager
