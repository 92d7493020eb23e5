// The push cache of one RtmpPusher (m_cache_push_data_list): a first-in, first-out list of
// at most 7500 PushDataInfo units, with the two counters that thin out its log lines.
//
// The output's audio and video threads append; the push thread takes the oldest unit; the
// push thread and the pusher's owner clear it. lock_ (the pusher's cache lock) guards the list
// and the backlog counter and is never held while a unit is sent. The refusal counter is shared
// by every pusher of the process and is atomic.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "base/WLock.h"
#include "media/push/PushDataInfo.h"
#include "platform/ThreadAnnotations.h"

namespace streammanager {

class PushDataCache {
  public:
    static constexpr size_t kMaxUnits = 7500;
    // From this many waiting units on, appends count towards the backlog line.
    static constexpr size_t kBacklogUnits = 125;
    // One backlog line for this many appends to a backlogged cache.
    static constexpr uint32_t kBacklogLogInterval = 100;
    // The "full" line is written once the refusal counter has passed this value.
    static constexpr uint32_t kRefusalLogThreshold = 100;

    struct AppendResult {
        bool appended = false;
        // The caller writes the backlog line, or the "full" line, with `count`.
        bool logBacklog = false;
        bool logFull = false;
        // Units in the cache before this append.
        size_t count = 0;
    };

    PushDataCache() = default;
    PushDataCache(const PushDataCache&) = delete;
    PushDataCache& operator=(const PushDataCache&) = delete;

    // Appends `unit` while fewer than kMaxUnits wait; otherwise drops it (its buffer goes back
    // to the allocator) and counts the refusal.
    AppendResult Append(PushDataInfo&& unit);
    // Moves the oldest unit into *unit; false when the cache is empty.
    bool TakeOldest(PushDataInfo* unit);
    // Drops every unit; returns how many there were.
    size_t Clear();
    size_t Size();
    bool Empty() { return Size() == 0; }
    void ResetBacklogCounter();

  private:
    // One refusal more; true when the "full" line is due (the counter starts again).
    static bool CountRefusal();

    KESTREL::WLock lock_;
    std::deque<PushDataInfo> units_ GUARDED_BY(lock_);
    uint32_t backlogCounter_ GUARDED_BY(lock_) = 0;

    static std::atomic<uint32_t> refusals_;
};

}  // namespace streammanager
