// The push path's pure parts on arbitrary units: the parameter-set parser with the FLV bodies
// built from what it finds, and the SRT URL parser. An input is a flags byte (bit 0: the stream
// carries video) and then units, each a kind byte (bit 0: video, else audio; bit 1: key frame;
// bit 2: new metadata before it; bit 3: the unit is an SRT URL), a 16-bit little-endian length
// and that many bytes (fewer at the end of the input). The flags, audio units and metadata are
// for the pusher test that walks the same corpus through a real push thread.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/push/FlvTagBody.h"
#include "media/push/H264ParameterSets.h"
#include "media/push/SrtUrl.h"

namespace {

using namespace streammanager;

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "push_units: %s\n", what);
        std::abort();
    }
}

// A big-endian number of `bytes` bytes.
uint32_t Big(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | p[i];
    }
    return value;
}

// What the parser promises of one access unit, and the bodies built from what it found: the
// AVC sequence header holds the sets with their lengths (and is refused without room), the
// picture's body each NAL unit with its length and nothing the unit does not have.
void CheckVideo(const uint8_t* unit, uint32_t length, bool key) {
    H264ParameterSets sets;
    const auto picture = static_cast<uint32_t>(sets.Parse(unit, static_cast<int32_t>(length)));
    if (picture != 0) {
        Check(picture >= 3 && picture < length && Big(unit + picture - 3, 3) == 1,
              "a picture offset that does not follow a start code");
        const int type = unit[picture] & 0x1F;
        Check(type != 6 && type != 7 && type != 8 && type != 9,
              "a picture offset at a parameter set, SEI or delimiter");
    }
    const uint32_t sps = sets.SpsLength();
    const uint32_t pps = sets.PpsLength();
    Check(sps <= H264ParameterSets::kMaxSpsLength && pps <= H264ParameterSets::kMaxPpsLength,
          "a parameter set past its bound");
    Check((sps == 0 || (sets.Sps()[0] & 0x1F) == 7) && (pps == 0 || (sets.Pps()[0] & 0x1F) == 8),
          "a parameter set that does not start at its header byte");
    // Into exactly the room it needs, or a byte less (for an odd length): refused without
    // both sets or without room, else the sets with their lengths.
    const uint32_t room = FlvTagBody::kAvcSequenceHeaderFixedSize + sps + pps - (length & 1);
    std::vector<uint8_t> header(room);
    const uint32_t size =
        FlvTagBody::WriteAvcSequenceHeader(sets.Sps(), sps, sets.Pps(), pps, header.data(), room);
    Check(size == (sets.Complete() && (length & 1) == 0 ? room : 0),
          "an AVC sequence header past its room or without both sets");
    Check(size == 0 ||
              (Big(&header[11], 2) == sps && header[13 + sps] == 1 &&
               std::memcmp(&header[13], sets.Sps(), sps) == 0 && Big(&header[14 + sps], 2) == pps &&
               std::memcmp(&header[16 + sps], sets.Pps(), pps) == 0),
          "an AVC sequence header that does not hold the sets");
    std::vector<uint8_t> body;
    FlvTagBody::WriteVideoBody(key, unit + picture, length - picture, &body);
    Check(body.size() >= FlvTagBody::kVideoPrefixSize && body[0] == (key ? 0x17 : 0x27) &&
              body[1] == 0x01 && Big(&body[2], 3) == 0,
          "a video body with a wrong header");
    size_t at = FlvTagBody::kVideoPrefixSize - 4;  // each NAL unit behind its length
    size_t nals = 0;
    for (; at + 4 <= body.size(); ++nals) {
        at += 4 + Big(&body[at], 4);
    }
    Check(at == body.size(), "a video body whose lengths do not add up");
    Check(body.size() - 5 - 4 * nals <= length - picture, "a video body of bytes not in the unit");
}

// A URL taken holds what a caller can use; a passphrase never shows in the log's form of it.
void CheckSrtUrl(const std::string& text) {
    SrtUrl url;
    if (SrtUrl::Parse(text, &url) == nullptr) {
        Check(
            !url.host.empty() && url.port >= 1 && url.port <= 65535 && url.latencyMs >= -1 &&
                url.latencyMs <= SrtUrl::kMaxLatencyMs &&
                url.streamId.size() <= SrtUrl::kMaxStreamIdLength &&
                (url.keyLength == 0 || url.keyLength == 16 || url.keyLength == 24 ||
                 url.keyLength == 32) &&
                (url.passphrase.empty() || (url.passphrase.size() >= SrtUrl::kMinPassphraseLength &&
                                            url.passphrase.size() <= SrtUrl::kMaxPassphraseLength)),
            "an SRT URL taken with an option out of its range");
    }
    const std::string shown = SrtUrl::WithoutSecret(text);
    const std::string key = "passphrase=";
    for (size_t at = shown.find(key); at != std::string::npos; at = shown.find(key, at + 1)) {
        const size_t value = at + key.size();
        Check(shown.compare(value, 3, "***") == 0 &&
                  (value + 3 == shown.size() || shown[value + 3] == '&'),
              "a passphrase shown");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 1;
    while (size >= at + 3) {
        const uint8_t kind = data[at];
        const size_t length = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        const size_t taken = length < size - at ? length : size - at;
        const uint8_t* unit = data + at;
        at += taken;
        if (kind & 8) {  // as the host's XML hands it over: up to a NUL
            CheckSrtUrl(std::string(reinterpret_cast<const char*>(unit),
                                    strnlen(reinterpret_cast<const char*>(unit), taken)));
        } else if (kind & 1) {
            CheckVideo(unit, static_cast<uint32_t>(taken), (kind & 2) != 0);
        }
    }
    return 0;
}
