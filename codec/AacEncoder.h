// Encodes sound to AAC LC with FFmpeg's native encoder for every path that makes AAC (the live
// output, the screen recording): frames of FrameSamples() samples a channel of signed 16-bit
// interleaved PCM at the opened rate and channel count in, raw AAC frames out (no ADTS header;
// the live path adds one), each with its place in samples. The coder holds DelayFrames()
// frames: the first frames out are its priming, placed before the first frame in.
//
// Owns the codec context, its frame and packet. Owned by one user and used from one thread at
// a time; no lock.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace codec {

class AacEncoder {
  public:
    struct Packet {
        const uint8_t* data;
        int32_t size;
        int64_t pts;  // in samples a channel; the priming's is negative
        int32_t duration;
    };
    // Takes each packet; false when it could not be used.
    using PacketSink = std::function<bool(const Packet&)>;

    AacEncoder() = default;
    ~AacEncoder() { Close(); }
    AacEncoder(const AacEncoder&) = delete;
    AacEncoder& operator=(const AacEncoder&) = delete;

    // False when the coder refuses the rate (it takes the usual ones up to 96 kHz) or the
    // channels (1 to 8). `bitrate` is for all channels together.
    bool Open(int32_t sampleRate, int32_t channels, int32_t bitrate);
    // Lets the coder finish what it holds (unwanted) and frees everything.
    void Close();
    bool IsOpen() const { return context_ != nullptr; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t Channels() const { return channels_; }
    int32_t FrameSamples() const { return frameSamples_; }
    int32_t DelayFrames() const;
    // The AudioSpecificConfig (a container's codec header).
    std::vector<uint8_t> Config() const;

    // Encodes `count` samples a channel (at most FrameSamples(); fewer are followed by silence;
    // null: silence) placed at `pts`, and hands every packet the coder gives to `sink`.
    bool Encode(const int16_t* samples, int32_t count, int64_t pts, const PacketSink& sink);
    // The frames the coder still holds, to `sink`.
    bool Flush(const PacketSink& sink);

  private:
    bool Drain(const PacketSink& sink);

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t frameSamples_ = 0;
};

}  // namespace codec
