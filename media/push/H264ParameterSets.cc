#include "media/push/H264ParameterSets.h"

#include <cstring>

namespace streammanager {

namespace {

constexpr int kNalSei = 6;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;
constexpr int kNalAccessUnitDelimiter = 9;

}  // namespace

int32_t H264ParameterSets::Parse(const uint8_t* data, int32_t length) {
    if (data == nullptr || length < 4) {
        return 0;
    }
    int openType = 0;
    int32_t openStart = -1;
    // i is the position of the 0x01 of a start code, i + 1 that of the NAL header byte.
    for (int32_t i = 2; i + 1 < length; ++i) {
        if (data[i] != 0x01 || data[i - 1] != 0x00 || data[i - 2] != 0x00) {
            continue;
        }
        if (openStart >= 0) {
            int32_t end = i - 2;
            if (end - 1 >= openStart && data[end - 1] == 0x00) {
                --end;
            }
            Store(openType, data + openStart, end - openStart);
            openStart = -1;
        }
        const int32_t header = i + 1;
        const int type = data[header] & 0x1F;
        if (type == kNalSps || type == kNalPps) {
            openType = type;
            openStart = header;
        } else if (type != kNalSei && type != kNalAccessUnitDelimiter) {
            return header;
        }
        i = header;
    }
    if (openStart >= 0) {
        Store(openType, data + openStart, length - openStart);
    }
    return 0;
}

void H264ParameterSets::Store(int nalType, const uint8_t* set, int32_t length) {
    if (length <= 0) {
        return;
    }
    const uint32_t size = static_cast<uint32_t>(length);
    if (nalType == kNalSps && size <= kMaxSpsLength) {
        memcpy(sps_, set, size);
        spsLength_ = size;
    } else if (nalType == kNalPps && size <= kMaxPpsLength) {
        memcpy(pps_, set, size);
        ppsLength_ = size;
    }
}

void H264ParameterSets::Clear() {
    memset(sps_, 0, sizeof(sps_));
    spsLength_ = 0;
    memset(pps_, 0, sizeof(pps_));
    ppsLength_ = 0;
}

}  // namespace streammanager
