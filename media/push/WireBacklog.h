// The units a pusher has handed to its connection that the server has not acknowledged yet,
// each with the connection's byte count after it: the bytes still queued in the socket tell
// the media time of the oldest unit not yet through. The push thread's own; no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace streammanager {

class WireBacklog {
  public:
    // A unit of `mediaMs` went out; the connection had been handed `writtenAfter` bytes then.
    void Sent(uint64_t mediaMs, uint64_t writtenAfter);
    // With the first `acked` bytes of the connection acknowledged: the media time of the
    // oldest unit not wholly acknowledged; false when every one is.
    bool Oldest(uint64_t acked, uint64_t* mediaMs);
    void Clear() { entries_.clear(); }

  private:
    static constexpr size_t kMaxEntries = 4096;

    struct Entry {
        uint64_t end;
        uint64_t mediaMs;
    };
    std::deque<Entry> entries_;
};

}  // namespace streammanager
