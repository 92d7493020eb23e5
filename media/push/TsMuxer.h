// MPEG-TS packaging of a pusher's units with libavformat's muxer: one program with an H.264
// stream (Annex B, parameter sets in band) and an AAC stream (ADTS frames as they are), each
// unit in a PES of its own and flushed at once, handed on in pieces of at most `chunkSize`
// bytes (whole 188-byte packets). Timestamps are milliseconds; each stream's only grow.
//
// Owns the muxer and its I/O context. Owned by an SrtSender; used by the push thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

struct AVFormatContext;
struct AVStream;

namespace streammanager {

class TsMuxer {
  public:
    // Takes one piece; false when it could not go on (the write then fails).
    using Sink = std::function<bool(const uint8_t* data, int32_t length)>;

    // The program's streams: a picture when `width` > 0, sound when `sampleRate` > 0.
    struct Streams {
        int32_t width = 0;
        int32_t height = 0;
        int32_t sampleRate = 0;
        int32_t channels = 0;
    };

    TsMuxer(int32_t chunkSize, Sink sink) : chunkSize_(chunkSize), sink_(std::move(sink)) {}
    ~TsMuxer() { Close(); }
    TsMuxer(const TsMuxer&) = delete;
    TsMuxer& operator=(const TsMuxer&) = delete;

    // Starts a program (closing the one before): its tables go out first. False on failure.
    bool Open(const Streams& streams);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }
    const Streams& Program() const { return streams_; }

    bool WriteVideo(const uint8_t* annexB, int32_t length, bool keyFrame, uint64_t ms);
    bool WriteAudio(const uint8_t* adts, int32_t length, uint64_t ms);

  private:
    bool Write(AVStream* stream, const uint8_t* data, int32_t length, bool keyFrame, uint64_t ms,
               int64_t* last);
    static int WritePiece(void* opaque, uint8_t* data, int size);

    const int32_t chunkSize_;
    const Sink sink_;
    Streams streams_;
    AVFormatContext* context_ = nullptr;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    int64_t lastVideo_ = -1;  // each stream's last timestamp, in its time base
    int64_t lastAudio_ = -1;
};

}  // namespace streammanager
