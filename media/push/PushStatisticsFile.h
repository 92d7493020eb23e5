// Every pusher's statistics in one file, for whoever watches the process from outside (qxhost,
// the benchmarks): when STREAMCOURIER_STATS_FILE names a file, it is replaced every second with
// one line per pusher, keys and values separated by single spaces:
//   context=10001 url=rtmp://host/app/key state=streaming bytes=123456 kbps=850 backlog_ms=120
//   dropped=0 reconnects=0 encoder_kbps=1500 encoder_level=0
// Without the variable nothing is written.
//
// The process's one instance keeps the pushers that are running (not owned); a pusher adds
// itself when it is given its URL and removes itself when it stops, before it goes. Threads:
// any; mutex_ guards the list and the time of the next write, and is held while the pushers'
// statistics (atomics) are read and the file written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/push/PusherStats.h"
#include "platform/Mutex.h"

namespace streammanager {

class RtmpPusher;

class PushStatisticsFile {
  public:
    static constexpr uint64_t kIntervalUs = 1000000;

    static PushStatisticsFile& Instance();
    void Add(const RtmpPusher* pusher);
    void Remove(const RtmpPusher* pusher);
    // Writes the file when a second has passed since the last write (`nowUs`: the monotonic
    // clock); any pusher's thread calls it as it ticks.
    void WriteIfDue(uint64_t nowUs);
    // One pusher's line, without its line feed.
    static std::string Line(const PusherStats& stats);

  private:
    PushStatisticsFile();

    const std::string path_;
    platform::Mutex mutex_;
    std::vector<const RtmpPusher*> pushers_ GUARDED_BY(mutex_);
    uint64_t nextUs_ GUARDED_BY(mutex_) = 0;
};

}  // namespace streammanager
