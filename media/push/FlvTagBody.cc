#include "media/push/FlvTagBody.h"

#include <cstring>

namespace streammanager {

namespace {

constexpr uint8_t kAmfNumber = 0x00;
constexpr uint8_t kAmfBoolean = 0x01;
constexpr uint8_t kAmfString = 0x02;
constexpr uint8_t kAmfObject = 0x03;
constexpr uint8_t kAmfObjectEnd = 0x09;
constexpr double kAvcCodecId = 7.0;
constexpr double kAacCodecId = 10.0;
constexpr const char* kEncoderName = "SC Courier";
// The longest body: every key with its marker and value.
constexpr uint32_t kMetaDataMaxSize = 320;

// Appends to a buffer known to be large enough.
class Writer {
  public:
    explicit Writer(uint8_t* out) : out_(out) {}

    void Byte(uint8_t value) { out_[size_++] = value; }
    void Be16(uint32_t value) {
        Byte(static_cast<uint8_t>(value >> 8));
        Byte(static_cast<uint8_t>(value));
    }
    void Be32(uint32_t value) {
        Be16(value >> 16);
        Be16(value & 0xFFFF);
    }
    void Bytes(const void* data, uint32_t length) {
        memcpy(out_ + size_, data, length);
        size_ += length;
    }
    // An AMF0 string without its marker (an object key), or with it.
    void Key(const char* text) {
        const uint32_t length = static_cast<uint32_t>(strlen(text));
        Be16(length);
        Bytes(text, length);
    }
    void String(const char* text) {
        Byte(kAmfString);
        Key(text);
    }
    void Number(const char* key, double value) {
        Key(key);
        Byte(kAmfNumber);
        uint64_t bits = 0;
        memcpy(&bits, &value, sizeof(bits));
        Be32(static_cast<uint32_t>(bits >> 32));
        Be32(static_cast<uint32_t>(bits));
    }
    void Boolean(const char* key, bool value) {
        Key(key);
        Byte(kAmfBoolean);
        Byte(value ? 1 : 0);
    }
    uint32_t Size() const { return size_; }

  private:
    uint8_t* out_;
    uint32_t size_ = 0;
};

}  // namespace

uint32_t FlvTagBody::WriteMetaData(const StreamMetaData& meta, uint8_t* out, uint32_t capacity) {
    if (out == nullptr || capacity < kMetaDataMaxSize) {
        return 0;
    }
    Writer writer(out);
    writer.String("@setDataFrame");
    writer.String("onMetaData");
    writer.Byte(kAmfObject);
    writer.Key("encoder");
    writer.String(kEncoderName);
    writer.Number("width", meta.width);
    writer.Number("height", meta.height);
    writer.Number("framerate", meta.frameRate);
    writer.Number("videocodecid", kAvcCodecId);
    writer.Number("videodatarate", meta.videoKbps);
    if (meta.hasAudio) {
        writer.Number("audiodatarate", meta.audioKbps);
        writer.Number("audiocodecid", kAacCodecId);
        writer.Number("audiosamplerate", meta.audioSampleRate);
        writer.Number("audiosamplesize", meta.audioSampleSize);
        writer.Boolean("stereo", meta.stereo);
    }
    writer.Be16(0);
    writer.Byte(kAmfObjectEnd);
    return writer.Size();
}

uint32_t FlvTagBody::WriteAvcSequenceHeader(const uint8_t* sps, uint32_t spsLength,
                                            const uint8_t* pps, uint32_t ppsLength, uint8_t* out,
                                            uint32_t capacity) {
    if (sps == nullptr || pps == nullptr || out == nullptr || spsLength < 4 || ppsLength == 0 ||
        spsLength > 0xFFFF || ppsLength > 0xFFFF ||
        capacity < kAvcSequenceHeaderFixedSize + spsLength + ppsLength) {
        return 0;
    }
    Writer writer(out);
    writer.Byte(0x17);  // key frame, AVC
    writer.Byte(0x00);  // sequence header
    writer.Be16(0);     // composition time (3 bytes)
    writer.Byte(0x00);
    writer.Byte(0x01);  // configuration version
    writer.Byte(sps[1]);
    writer.Byte(sps[2]);
    writer.Byte(sps[3]);
    writer.Byte(0xFF);  // 4-byte NAL unit lengths
    writer.Byte(0xE1);  // one SPS
    writer.Be16(spsLength);
    writer.Bytes(sps, spsLength);
    writer.Byte(0x01);  // one PPS
    writer.Be16(ppsLength);
    writer.Bytes(pps, ppsLength);
    return writer.Size();
}

void FlvTagBody::WriteAacSequenceHeader(uint32_t sampleRate, uint8_t out[kAacSequenceHeaderSize]) {
    out[0] = 0xAF;
    out[1] = 0x00;
    // AAC LC (object type 2), frequency index, 2 channels.
    if (sampleRate == 48000) {
        out[2] = 0x11;
        out[3] = 0x90;
    } else if (sampleRate == 44100) {
        out[2] = 0x12;
        out[3] = 0x10;
    } else {
        out[2] = 0x00;
        out[3] = 0x00;
    }
}

void FlvTagBody::WriteAudioPrefix(uint8_t out[kAudioPrefixSize]) {
    out[0] = 0xAF;
    out[1] = 0x01;
}

void FlvTagBody::WriteVideoPrefix(bool keyFrame, uint32_t nalLength,
                                  uint8_t out[kVideoPrefixSize]) {
    Writer writer(out);
    writer.Byte(keyFrame ? 0x17 : 0x27);
    writer.Byte(0x01);  // NAL unit
    writer.Be16(0);     // composition time (3 bytes)
    writer.Byte(0x00);
    writer.Be32(nalLength);
}

void FlvTagBody::WriteVideoBody(bool keyFrame, const uint8_t* picture, uint32_t length,
                                std::vector<uint8_t>* body) {
    body->resize(kVideoPrefixSize - 4);
    body->reserve(kVideoPrefixSize + length + 16);
    uint8_t prefix[kVideoPrefixSize];
    WriteVideoPrefix(keyFrame, 0, prefix);
    std::memcpy(body->data(), prefix, kVideoPrefixSize - 4);
    // Each NAL unit runs to the next start code (three bytes, or four with a zero before).
    uint32_t start = 0;
    const auto append = [&](uint32_t end) {
        const uint32_t size = end - start;
        const uint8_t be[4] = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                               static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
        body->insert(body->end(), be, be + 4);
        body->insert(body->end(), picture + start, picture + end);
    };
    for (uint32_t i = 1; i + 2 < length; ++i) {
        if (picture[i] == 0 && picture[i + 1] == 0 && picture[i + 2] == 1) {
            const uint32_t end = picture[i - 1] == 0 && i - 1 > start ? i - 1 : i;
            append(end);
            start = i + 3;
            i += 2;
        }
    }
    append(length);
}

}  // namespace streammanager
