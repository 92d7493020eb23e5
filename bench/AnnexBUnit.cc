#include "bench/AnnexBUnit.h"

namespace bench {

bool AnnexBUnit::Take(const uint8_t* body, uint32_t size) {
    if (size < 5 || (body[0] & 0x0F) != 7) {
        return false;
    }
    if (body[1] == 0) {
        KeepParameterSets(body, size);
        return false;
    }
    key_ = (body[0] >> 4) == 1;
    if (!key_ && !sawKey_) {
        return false;
    }
    sawKey_ = true;
    unit_.clear();
    if (key_) {
        unit_ = parameterSets_;
    }
    AppendNalUnits(body, size);
    return true;
}

void AnnexBUnit::KeepParameterSets(const uint8_t* body, uint32_t size) {
    parameterSets_.clear();
    uint32_t at = 5 + 5;  // the tag's 5 bytes, then the record's 5 before the SPS count
    for (int kind = 0; kind < 2 && at < size; ++kind) {
        const uint32_t count = body[at++] & (kind == 0 ? 0x1F : 0xFF);
        for (uint32_t i = 0; i < count && at + 2 <= size; ++i) {
            const uint32_t length = (body[at] << 8) | body[at + 1];
            at += 2;
            if (at + length > size) {
                return;
            }
            AppendNal(body + at, length, &parameterSets_);
            at += length;
        }
    }
}

void AnnexBUnit::AppendNalUnits(const uint8_t* body, uint32_t size) {
    for (uint32_t at = 5; at + 4 <= size;) {
        const uint32_t length =
            (body[at] << 24) | (body[at + 1] << 16) | (body[at + 2] << 8) | body[at + 3];
        at += 4;
        if (length > size - at) {
            break;
        }
        AppendNal(body + at, length, &unit_);
        at += length;
    }
}

void AnnexBUnit::AppendNal(const uint8_t* nal, uint32_t length, std::vector<uint8_t>* out) {
    static const uint8_t kStart[] = {0, 0, 0, 1};
    out->insert(out->end(), kStart, kStart + 4);
    out->insert(out->end(), nal, nal + length);
}

}  // namespace bench
