// Writes a recording's encoded streams into its file with libavformat: fragmented MP4 (an
// empty moov first, then a fragment at each key frame, or each second for sound only, so a
// file cut off by a killed process still plays) or FLV. What the container finishes is
// flushed to the file at once.
//
// Owns the output context and the file. Owned by one RecordingOutput and used under its lock;
// no lock of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/IScreenRecorder.h"

struct AVFormatContext;
struct AVStream;
struct AVPacket;

namespace framework {

class RecordMuxer {
  public:
    RecordMuxer() = default;
    ~RecordMuxer() { Abandon(); }
    RecordMuxer(const RecordMuxer&) = delete;
    RecordMuxer& operator=(const RecordMuxer&) = delete;

    // Sets up the container for `path` (nothing is opened yet). False when libavformat
    // cannot make it.
    bool Prepare(bool mp4, const std::string& path);
    // Adds an H.264 stream of pictures of width x height, its times in milliseconds; `headers`
    // are its SPS and PPS in Annex B. Its index, or -1.
    int AddVideoStream(int32_t width, int32_t height, int32_t frameRate,
                       const std::vector<uint8_t>& headers);
    // Adds an AAC stream, its times in 1/sampleRate; `config` is its AudioSpecificConfig. Its
    // index, or -1.
    int AddAudioStream(int32_t sampleRate, int32_t channels, int32_t frameSamples,
                       const std::vector<uint8_t>& config);
    // Creates the file and writes the header: S_OK, REC_E_FILE (the path cannot be written)
    // or REC_E_ENCODER (the container refuses the streams), with the reason in `why`.
    HRESULT Open(std::string* why);
    // Writes one packet of `stream` (H.264 in Annex B, or a raw AAC frame), its times in that
    // stream's time base. False when the write fails.
    bool Write(int stream, const uint8_t* data, int32_t size, int64_t pts, int64_t duration,
               bool keyFrame);
    // Writes the trailer and closes the file. False when either fails.
    bool Finish();
    // Closes without finishing and removes the file if this muxer created it.
    void Abandon();

  private:
    struct TimeBase {
        int num;
        int den;
    };

    // A new stream with `extradata` and time base 1/`rate`; null on failure.
    AVStream* NewStream(const std::vector<uint8_t>& extradata, int rate);

    AVFormatContext* output_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<TimeBase> timeBases_;  // of each stream's packets
    std::string path_;
    bool mp4_ = false;
    bool fileOpen_ = false;
    bool headerWritten_ = false;
};

}  // namespace framework
