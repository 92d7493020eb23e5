// The H.264 sequence and picture parameter sets a pusher last saw, each from its NAL header
// byte on, refreshed from every access unit it sends. Used by the push thread only (and by the
// pusher's owner after that thread has ended).
#pragma once

#include <cstdint>

namespace streammanager {

class H264ParameterSets {
  public:
    static constexpr uint32_t kMaxSpsLength = 128;
    static constexpr uint32_t kMaxPpsLength = 64;

    // Scans an Annex-B access unit (3- or 4-byte start codes). Every SPS and PPS it carries
    // replaces the stored one; a set longer than its buffer is ignored and the previous one
    // kept. A set ends at the next start code (one zero byte before it belonging to a 4-byte
    // start code) or at the end of the unit. Returns the offset of the header byte of the first
    // NAL unit that is neither SEI, SPS, PPS nor an access unit delimiter (the picture), or 0
    // when there is none.
    int32_t Parse(const uint8_t* data, int32_t length);
    void Clear();

    const uint8_t* Sps() const { return sps_; }
    uint32_t SpsLength() const { return spsLength_; }
    const uint8_t* Pps() const { return pps_; }
    uint32_t PpsLength() const { return ppsLength_; }
    // Both sets are known (and the SPS holds its profile and level bytes).
    bool Complete() const { return spsLength_ >= 4 && ppsLength_ > 0; }

  private:
    void Store(int nalType, const uint8_t* set, int32_t length);

    uint8_t sps_[kMaxSpsLength] = {};
    uint32_t spsLength_ = 0;
    uint8_t pps_[kMaxPpsLength] = {};
    uint32_t ppsLength_ = 0;
};

}  // namespace streammanager
