// The ffmpeg tool as the reader, what a player adds: it decodes the stream to 32x18 gray frames
// (`ffmpeg -fflags nobuffer -flags low_delay -probesize 32 -analyzeduration 0 -threads 1 -i URL
// -vf scale=32:18 -pix_fmt gray -fps_mode passthrough -flush_packets 1 -f rawvideo FIFO`), and
// a thread reads the 576-byte frames from the FIFO; a picture's instant is when its last byte
// was read, its luma the mean of all 576 pixels. An input format given goes before the URL
// (`-f FORMAT`), for a stream that 32 bytes of probing do not tell. ffmpeg's error output goes
// to <folder>/reader.err. ffmpeg is $FFMPEG, else /usr/bin/ffmpeg.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "bench/LiveReader.h"
#include "platform/ChildProcess.h"

namespace bench {

class FfmpegReader : public LiveReader {
  public:
    static constexpr int kWidth = 32;
    static constexpr int kHeight = 18;

    FfmpegReader(const std::string& folder, std::string url, std::string format = "")
        : url_(std::move(url)),
          format_(std::move(format)),
          fifo_(folder + "/frames.fifo"),
          errors_(folder + "/reader.err") {}
    ~FfmpegReader() override { Stop(); }
    bool Start() override;
    void Stop() override;
    const std::vector<Sighting>& Pictures() const override { return pictures_; }
    // After Stop: what ffmpeg wrote to its error output, line by line.
    std::vector<std::string> ErrorLines() const;

  private:
    std::vector<std::string> Args() const;
    // Ends ffmpeg: SIGTERM, then SIGKILL after 3 s.
    void EndChild();
    void Run();
    // Reads whole frames from `fd` until the end, noting each.
    void ReadFrames(int fd);

    const std::string url_;
    const std::string format_;
    const std::string fifo_;
    const std::string errors_;
    platform::ChildProcess child_;
    std::thread thread_;
    std::vector<Sighting> pictures_;
};

}  // namespace bench
