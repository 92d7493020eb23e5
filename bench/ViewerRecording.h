// A viewer's recording of a live stream: the ffmpeg tool copies it (`-c copy`, FLV) into the
// file `path` from Start until Stop, which ends it as Ctrl-C does so that the file is
// complete. Then the checks: whether the file decodes without an error (`ffmpeg -xerror`
// stops at the first) and how long the sound is missing at most between the first and the
// last picture (packet pts, ffprobe). The tools' output goes to files in `folder`. Owned and
// used by one thread.
#pragma once

#include <memory>
#include <string>

#include "tests/media/push/FfTool.h"

namespace bench {

class ViewerRecording {
  public:
    ViewerRecording(std::string folder, std::string url, std::string path)
        : folder_(std::move(folder)), url_(std::move(url)), path_(std::move(path)) {}
    void Start();
    // False when the recording failed (the tool ended early or did not end).
    bool Stop();
    // After Stop: true when the file decodes without an error, else the error in `error`.
    bool DecodesCleanly(std::string* error) const;
    // After Stop: the largest pts gap between sound packets, from the first picture to the
    // last (ms); negative when the file has no sound.
    double LongestSoundGapMs() const;
    const std::string& Path() const { return path_; }

  private:
    const std::string folder_;
    const std::string url_;
    const std::string path_;
    std::unique_ptr<rtmptest::FfTool> recorder_;
};

}  // namespace bench
