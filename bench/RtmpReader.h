// The in-process reader: librtmp plays the stream ("live=1", RTMP_GetNextMediaPacket) on its
// own thread, noting every media message's timestamp and arrival, and, when `decode`, decodes
// the video with the mixer's H264Decoder (one thread, low delay: a picture for every unit). A
// picture's instant is when its decoding returned; its mean luma is sampled every 16th pixel
// of every 16th row. No process, pipe or player buffering, and its own share, the decode, is
// measured directly. Without `decode` it only counts.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/AnnexBUnit.h"
#include "bench/LiveReader.h"

namespace framework {
class H264Decoder;
}

namespace bench {

// An RTMP media message: 8 audio, 9 video; its timestamp, arrival and body size.
struct Arrival {
    uint8_t type = 0;
    bool header = false;  // a sequence header
    uint32_t stamp = 0;
    uint64_t arrivedUs = 0;
    uint32_t bytes = 0;
};

class RtmpReader : public LiveReader {
  public:
    RtmpReader(std::string url, bool decode);
    ~RtmpReader() override { Stop(); }
    bool Start() override;
    void Stop() override;
    const std::vector<Sighting>& Pictures() const override { return pictures_; }
    const std::vector<Arrival>& Messages() const { return messages_; }
    const std::vector<double>& DecodeMs() const { return decodeMs_; }
    // Video messages (not sequence headers) a second that arrived from 2 s after `fromUs` (the
    // reader connects meanwhile) to `toUs`.
    double VideoRate(uint64_t fromUs, uint64_t toUs) const;

  private:
    void Run();
    void SetSocket(int socket);
    void OnVideo(const uint8_t* body, uint32_t size, uint32_t stamp, uint64_t arrivedUs,
                 framework::H264Decoder* decoder);

    const std::string url_;
    const bool decode_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex socketLock_;
    int socket_ = -1;
    // The reader thread's, read after Stop.
    AnnexBUnit unit_;
    std::vector<Sighting> pictures_;
    std::vector<Arrival> messages_;
    std::vector<double> decodeMs_;
};

}  // namespace bench
