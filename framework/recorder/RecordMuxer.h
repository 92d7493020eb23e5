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

struct AVCodecContext;
struct AVFormatContext;
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
    // Adds a stream carrying what `encoder` (open) makes; its index, or -1.
    int AddStream(const AVCodecContext* encoder);
    // Creates the file and writes the header: S_OK, REC_E_FILE (the path cannot be written)
    // or REC_E_ENCODER (the container refuses the streams), with the reason in `why`.
    HRESULT Open(std::string* why);
    // Writes one packet of `stream`, its times in that stream's encoder time base; the packet
    // is left empty. False when the write fails.
    bool Write(AVPacket* packet, int stream);
    // Writes the trailer and closes the file. False when either fails.
    bool Finish();
    // Closes without finishing and removes the file if this muxer created it.
    void Abandon();

  private:
    struct TimeBase {
        int num;
        int den;
    };

    AVFormatContext* output_ = nullptr;
    std::vector<TimeBase> timeBases_;  // of each stream's encoder
    std::string path_;
    bool mp4_ = false;
    bool fileOpen_ = false;
    bool headerWritten_ = false;
};

}  // namespace framework
