// The bodies of the RTMP messages a pusher sends, byte for byte: the onMetaData data message
// (AMF0), the AVC and AAC sequence headers and the two-byte (audio) and nine-byte (video) FLV
// tag headers put before each unit's data. Stateless; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "media/push/StreamMetaData.h"

namespace streammanager {

class FlvTagBody {
  public:
    // The metadata and AVC sequence header are assembled in a buffer of this size.
    static constexpr uint32_t kHeaderBufferSize = 1024;
    static constexpr uint32_t kAvcSequenceHeaderFixedSize = 16;
    static constexpr uint32_t kAacSequenceHeaderSize = 4;
    static constexpr uint32_t kAudioPrefixSize = 2;
    static constexpr uint32_t kVideoPrefixSize = 9;

    // "@setDataFrame", "onMetaData" and an object with the encoder's name, the picture's size
    // and rate, codec 7 and the video data rate, and for a stream with sound its data rate,
    // codec 10 (AAC), sample rate, sample size and channels. Returns the body's size, or 0
    // when `capacity` is smaller.
    static uint32_t WriteMetaData(const StreamMetaData& meta, uint8_t* out, uint32_t capacity);
    // AVCDecoderConfigurationRecord behind the key-frame/sequence-header bytes; `sps` and `pps`
    // start at their NAL header byte. Returns 16 + S + P, or 0 when the SPS is shorter than 4
    // bytes, a set is empty or longer than 65535 bytes, or `capacity` is too small.
    static uint32_t WriteAvcSequenceHeader(const uint8_t* sps, uint32_t spsLength,
                                           const uint8_t* pps, uint32_t ppsLength, uint8_t* out,
                                           uint32_t capacity);
    // 0xAF 0x00 and the AudioSpecificConfig of AAC LC stereo at 48000 or 44100 Hz (0x00 0x00
    // for any other rate).
    static void WriteAacSequenceHeader(uint32_t sampleRate, uint8_t out[kAacSequenceHeaderSize]);
    // 0xAF 0x01: AAC raw frame follows.
    static void WriteAudioPrefix(uint8_t out[kAudioPrefixSize]);
    // Frame type and codec, NAL unit marker, composition time 0 and the NAL length N.
    static void WriteVideoPrefix(bool keyFrame, uint32_t nalLength, uint8_t out[kVideoPrefixSize]);
    // A whole video unit's body into `body`: the prefix, then each NAL unit of `picture` (the
    // picture's NAL units in Annex B from the first one's header byte, as a sliced encoder
    // gives several) with its 4-byte length instead of its start code.
    static void WriteVideoBody(bool keyFrame, const uint8_t* picture, uint32_t length,
                               std::vector<uint8_t>* body);
};

}  // namespace streammanager
