// Turns the video messages of an FLV/RTMP stream into Annex B access units for a decoder: the
// AVC sequence header's SPS and PPS go in front of each key frame, the length-prefixed NAL
// units get 4-byte start codes, and nothing comes before the first key frame. One thread.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

class AnnexBUnit {
  public:
    // Takes a video message body (H.264 only). True when it gave a unit to decode, in Unit().
    bool Take(const uint8_t* body, uint32_t size);
    const std::vector<uint8_t>& Unit() const { return unit_; }
    bool Key() const { return key_; }

  private:
    // Keeps the AVCDecoderConfigurationRecord's SPS and PPS as Annex B.
    void KeepParameterSets(const uint8_t* body, uint32_t size);
    // Appends the length-prefixed NAL units from byte 5 on.
    void AppendNalUnits(const uint8_t* body, uint32_t size);
    static void AppendNal(const uint8_t* nal, uint32_t length, std::vector<uint8_t>* out);

    std::vector<uint8_t> parameterSets_;
    std::vector<uint8_t> unit_;
    bool key_ = false;
    bool sawKey_ = false;
};

}  // namespace bench
