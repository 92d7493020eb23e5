// Plain records and codes shared by the media input path: stream keys, media descriptors and
// the media-type mapping. No state, no threads.
#pragma once

#include <cstdint>

namespace streammanager {

// Internal media types (after the media-id mapping).
enum MediaTypeCode : uint8_t {
    kMediaAudio = 1,
    kMediaEncodedVideo = 2,
    kMediaRawPicture = 3,
    kMediaAudio240 = 4,
    kMediaEncodedVideo240 = 5,
    kMediaRawPicture6 = 6,
    kMediaAudio253 = 7,
};

constexpr uint8_t kMediaId240 = 240;
constexpr uint8_t kMediaId253 = 253;

// Maps a host media type and media id to the internal type: (1,240)→4, (1,253)→7, (2,240)→5;
// every other pair keeps its type.
constexpr uint8_t MapMediaType(uint8_t type, uint8_t mediaId) {
    if (type == kMediaAudio && mediaId == kMediaId240) {
        return kMediaAudio240;
    }
    if (type == kMediaAudio && mediaId == kMediaId253) {
        return kMediaAudio253;
    }
    if (type == kMediaEncodedVideo && mediaId == kMediaId240) {
        return kMediaEncodedVideo240;
    }
    return type;
}

constexpr bool IsEncodedVideo(uint8_t type) {
    return type == kMediaEncodedVideo || type == kMediaEncodedVideo240;
}
constexpr bool IsRawPicture(uint8_t type) {
    return type == kMediaRawPicture || type == kMediaRawPicture6;
}

// One booked stream. The reserved word is never compared.
struct InputStreamKey {
    uint32_t userId = 0;
    uint32_t reserved = 0;
    uint8_t mediaType = 0;
    uint8_t mediaId = 0;
};

inline bool operator==(const InputStreamKey& a, const InputStreamKey& b) {
    return a.userId == b.userId && a.mediaType == b.mediaType && a.mediaId == b.mediaId;
}

// The description of one media unit that an input hands to its sink.
struct MediaDataDesc {
    uint8_t mediaType = 0;
    uint8_t codecId = 0;
    char fourcc[4] = {0, 0, 0, 0};
    uint32_t timestamp = 0;
    uint8_t fieldA = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t keyFrame = 0;
    uint32_t flagB = 0;
    // When the unit entered the process: microseconds of the monotonic clock.
    uint64_t arrivalUs = 0;
};

}  // namespace streammanager
