// The layout of one shared-memory stream channel, as the host writes it: a read index, a
// reserved word, 1000 entries of 20 bytes, then the data area. Little-endian throughout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace streammanager {

constexpr uint8_t kStreamChannels[] = {1, 2, 3, 5, 6};
constexpr uint32_t kStreamEntryCount = 1000;
constexpr uint32_t kStreamEntryBytes = 20;
constexpr uint32_t kStreamEntriesOffset = 8;
constexpr uint32_t kStreamIndexBytes = kStreamEntriesOffset + kStreamEntryCount * kStreamEntryBytes;
constexpr uint32_t kSmallChannelDataBytes = 2048000;   // channel 1
constexpr uint32_t kLargeChannelDataBytes = 67108864;  // channels 2, 3, 5, 6
constexpr uint32_t kStreamSemaphoreMaximum = 100000;

inline uint32_t ChannelDataBytes(uint8_t channel) {
    return channel == 1 ? kSmallChannelDataBytes : kLargeChannelDataBytes;
}

inline std::string StreamSemaphoreName(uint8_t channel, int32_t port) {
    char name[64];
    std::snprintf(name, sizeof(name), "/SemStream%d_%d", channel, port);
    return name;
}

inline std::string StreamMemoryName(uint8_t channel, int32_t port) {
    char name[64];
    std::snprintf(name, sizeof(name), "/MemStream%d_%d", channel, port);
    return name;
}

struct StreamEntry {
    uint8_t type = 0;
    uint8_t mediaId = 0;
    uint32_t userId = 0;
    uint32_t length = 0;
    uint16_t valueA = 0;
    uint16_t valueB = 0;
    uint32_t offset = 0;
};

inline uint32_t LoadLittle32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLittle32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline StreamEntry LoadStreamEntry(const uint8_t* p) {
    StreamEntry entry;
    entry.type = p[0];
    entry.mediaId = p[1];
    entry.userId = LoadLittle32(p + 4);
    entry.length = LoadLittle32(p + 8);
    entry.valueA = static_cast<uint16_t>(p[12] | (p[13] << 8));
    entry.valueB = static_cast<uint16_t>(p[14] | (p[15] << 8));
    entry.offset = LoadLittle32(p + 16);
    return entry;
}

inline void StoreStreamEntry(uint8_t* p, const StreamEntry& entry) {
    std::memset(p, 0, kStreamEntryBytes);
    p[0] = entry.type;
    p[1] = entry.mediaId;
    StoreLittle32(p + 4, entry.userId);
    StoreLittle32(p + 8, entry.length);
    p[12] = static_cast<uint8_t>(entry.valueA);
    p[13] = static_cast<uint8_t>(entry.valueA >> 8);
    p[14] = static_cast<uint8_t>(entry.valueB);
    p[15] = static_cast<uint8_t>(entry.valueB >> 8);
    StoreLittle32(p + 16, entry.offset);
}

}  // namespace streammanager
