// Where an output's encoded units go, each with its media time (milliseconds of the monotonic
// clock): the output's pushers (PusherList), or a test's recorder. Called on the threads that
// encode (the audio path's receiver thread, the mixer's thread).
#pragma once

#include <cstdint>

namespace streammanager {

class IEncodedSink {
  public:
    virtual ~IEncodedSink() = default;
    // An AAC frame with its ADTS header.
    virtual void CacheAudio(const uint8_t* data, int32_t length, uint64_t mediaMs) = 0;
    // An H.264 access unit in Annex B.
    virtual void CacheVideo(const uint8_t* data, int32_t length, uint32_t keyFrame,
                            uint64_t mediaMs) = 0;
};

}  // namespace streammanager
