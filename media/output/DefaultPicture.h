// A picture the output shows where no input does: read from a 24-bit BMP file (bottom-up rows
// of blue, green, red, each padded to 4 bytes) and held as I420 for the video mixer.
//
// Owns its bytes; PicInfo() points into them. A member of the Output, read on the control path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/IVideoMixer.h"

namespace streammanager {

class DefaultPicture {
  public:
    // Larger files than this many pixels a side are refused.
    static constexpr int32_t kMaxSide = 4096;

    DefaultPicture() = default;
    DefaultPicture(const DefaultPicture&) = delete;
    DefaultPicture& operator=(const DefaultPicture&) = delete;

    // 1 when the file was read, 0 (logged; the picture stays without data) when it is missing,
    // short, not a 24-bit uncompressed BMP, or of a size out of range.
    int32_t Read(const std::string& path);
    // "I420" with the size and the data, which is null until a file was read.
    const ::PicInfo* PicInfo() const { return &info_; }

  private:
    std::vector<uint8_t> bytes_;
    ::PicInfo info_{{'I', '4', '2', '0'}, 0, 0, nullptr, 0};
};

}  // namespace streammanager
