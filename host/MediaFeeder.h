// Writes media into the stream channels of one port as the meeting client does: one thread per
// configured stream, each writing at its own rate (see StreamFeed), until stopped or until
// each stream reached its count or duration. Every stream counts its units from one start time
// read in Start, so units of different streams due at the same media time (the sync pattern's
// white pictures and beeps) are due at the same instant.
//
// Owns the streams, one StreamWriter per channel in use (created before the program starts, so
// the host owns the shared objects and unlinks them when the feeder goes away) and the
// threads. The owner's thread calls every operation; the stream threads run StreamFeed::Run.
// Streams on one channel share its writer, each write under that SharedWriter's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/StreamFeed.h"
#include "platform/Event.h"

namespace qxhost {

struct FeedCounts {
    uint64_t written = 0;
    uint64_t refused = 0;
};

class MediaFeeder {
  public:
    explicit MediaFeeder(int32_t port) : port_(port) {}
    // Stops and joins the threads, then closes the writers.
    ~MediaFeeder();
    MediaFeeder(const MediaFeeder&) = delete;
    MediaFeeder& operator=(const MediaFeeder&) = delete;

    // Adds a stream (before Open). On failure returns false with `error` set.
    bool AddStream(const FeedSettings& settings, std::string* error);
    // Creates or opens the semaphore and mapping of every channel a stream uses.
    bool Open(std::string* error);
    // Starts one thread per stream; once only, after Open.
    bool Start();
    // Ends the streams and joins their threads. Idempotent.
    void Stop();
    // True when every stream's thread ended (count or duration reached, or stopped) within
    // timeoutMs.
    bool WaitFinished(uint32_t timeoutMs) { return finished_.WaitFor(timeoutMs); }

    size_t StreamCount() const { return streams_.size(); }
    const FeedSettings& Settings(size_t stream) const { return streams_[stream]->Settings(); }
    FeedCounts Counts(size_t stream) const;

  private:
    void RunStream(StreamFeed* stream, SharedWriter* channel, uint64_t startMicros);

    // Passed by argument.
    const int32_t port_;

    // Allocated by this.
    std::vector<std::unique_ptr<StreamFeed>> streams_;
    std::map<uint8_t, std::unique_ptr<SharedWriter>> channels_;
    std::vector<std::thread> threads_;

    // Others.
    platform::Event stop_;
    platform::Event finished_;
    std::atomic<size_t> running_{0};
    bool opened_ = false;
    bool started_ = false;
};

}  // namespace qxhost
