#include "media/output/DefaultPicture.h"

#include <libyuv/convert.h>

#include <fstream>
#include <iterator>

#include "base/Log.h"

namespace streammanager {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;

uint32_t Little32(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

uint16_t Little16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

int32_t DefaultPicture::Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        SC_LOG("Output::ReadPicInfo Open file failed.\n");
        return 0;
    }
    // Read whole, in one go; a file larger than the largest picture taken is not read at all.
    constexpr std::streamoff kMaxFileBytes =
        kFileHeaderBytes + kInfoHeaderBytes + std::streamoff{kMaxSide} * kMaxSide * 4;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    std::vector<uint8_t> bmp(size > 0 && size <= kMaxFileBytes ? static_cast<size_t>(size) : 0);
    file.read(reinterpret_cast<char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    if (!file || bmp.size() < kFileHeaderBytes + kInfoHeaderBytes || bmp[0] != 'B' ||
        bmp[1] != 'M') {
        SC_LOG("Output::ReadPicInfo Seek file failed.\n");
        return 0;
    }
    const int32_t width = static_cast<int32_t>(Little32(bmp, 18));
    const int32_t height = static_cast<int32_t>(Little32(bmp, 22));
    const uint32_t pixelsAt = Little32(bmp, 10);
    const uint64_t rowBytes = (static_cast<uint64_t>(width > 0 ? width : 0) * 3 + 3) / 4 * 4;
    if (width < 2 || height < 2 || width > kMaxSide || height > kMaxSide ||
        Little16(bmp, 28) != 24 || Little32(bmp, 30) != 0 ||
        pixelsAt + rowBytes * static_cast<uint64_t>(height) > bmp.size()) {
        SC_LOG("Output::ReadPicInfo, %s is not a 24-bit picture of 2x2 to %dx%d.\n", path.c_str(),
               kMaxSide, kMaxSide);
        return 0;
    }
    const int32_t chromaWidth = (width + 1) / 2;
    const int32_t chromaHeight = (height + 1) / 2;
    bytes_.assign(static_cast<size_t>(width) * height + 2 * chromaWidth * chromaHeight, 0);
    uint8_t* y = bytes_.data();
    uint8_t* u = y + static_cast<size_t>(width) * height;
    uint8_t* v = u + static_cast<size_t>(chromaWidth) * chromaHeight;
    // BMP pixels are blue, green, red in memory (libyuv's RGB24); a negative height turns the
    // bottom-up rows upright.
    libyuv::RGB24ToI420(bmp.data() + pixelsAt, static_cast<int>(rowBytes), y, width, u, chromaWidth,
                        v, chromaWidth, width, -height);
    info_.width = width;
    info_.height = height;
    info_.data = bytes_.data();
    info_.size = static_cast<uint32_t>(bytes_.size());
    return 1;
}

}  // namespace streammanager
