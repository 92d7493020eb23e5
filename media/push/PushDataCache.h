// The push cache of one RtmpPusher (m_cache_push_data_list): the units waiting to be sent, at
// most 7500 and kMaxBytes, kept per kind in the order they came, with the two counters that
// thin out its log lines.
//
// Units leave in the order of their media time, sound and pictures interleaved: the next unit
// is the older of the two kinds' oldest. When only one kind has a unit waiting while the other
// kind is flowing, the unit is held until the other kind's next unit comes or it has waited
// `holdUs` (one audio frame at most), since the other kind's unit for an earlier instant may
// still be on its way (the sound comes out of its coder a frame late, a picture when the mixer
// ticks).
//
// When the link cannot keep up, the pusher drops video up to the next key frame
// (DropVideoToNextKey): the units queued before it go, and so does every unit appended after
// them until a key frame comes, so the picture stays decodable. Sound is never dropped (only
// refused when the cache is full).
//
// The output's audio and video threads append; the push thread takes units; the push thread
// and the pusher's owner clear it. lock_ (the pusher's cache lock) guards the lists and the
// backlog counter and is never held while a unit is sent. The refusal counter is shared by
// every pusher of the process and is atomic.
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
    static constexpr size_t kMaxBytes = size_t{32} << 20;
    // From this many waiting units on, appends count towards the backlog line.
    static constexpr size_t kBacklogUnits = 125;
    // One backlog line for this many appends to a backlogged cache.
    static constexpr uint32_t kBacklogLogInterval = 100;
    // The "full" line is written once the refusal counter has passed this value.
    static constexpr uint32_t kRefusalLogThreshold = 100;
    // A kind that appended nothing for this long is not waited for.
    static constexpr uint64_t kFlowingUs = 500000;

    struct AppendResult {
        bool appended = false;
        // The caller writes the backlog line, or the "full" line, with `count`.
        bool logBacklog = false;
        bool logFull = false;
        // Units in the cache before this append.
        size_t count = 0;
    };

    explicit PushDataCache(uint64_t holdUs) : holdUs_(holdUs) {}
    PushDataCache(const PushDataCache&) = delete;
    PushDataCache& operator=(const PushDataCache&) = delete;

    // Appends `unit` (its cachedUs set) while fewer than kMaxUnits and kMaxBytes wait;
    // otherwise drops it (its buffer goes back to the allocator) and counts the refusal. A
    // video unit is dropped without a word while video is being dropped up to a key frame.
    AppendResult Append(PushDataInfo&& unit);
    // Drops the queued video up to the next key frame, and what comes after it until one
    // does. Returns the units dropped now.
    size_t DropVideoToNextKey();
    // Video units appended and dropped while waiting for a key frame.
    uint64_t TakeSkippedVideo();
    // The media time of the oldest unit waiting and of the newest appended (false when empty).
    bool MediaSpan(uint64_t* oldestMs, uint64_t* newestMs);
    // Moves the unit due at `nowUs` into *unit. False when none is: *waitUs then tells how long
    // the held one may still wait (0: the cache is empty).
    bool TakeNext(uint64_t nowUs, PushDataInfo* unit, uint64_t* waitUs);
    // Drops every unit (and ends a drop up to a key frame); returns how many there were.
    size_t Clear();
    size_t Size();
    bool Empty() { return Size() == 0; }
    void ResetBacklogCounter();

  private:
    // One refusal more; true when the "full" line is due (the counter starts again).
    static bool CountRefusal();
    std::deque<PushDataInfo>& ListOf(int32_t type) REQUIRES(lock_) {
        return type == kPushDataAudio ? audio_ : video_;
    }

    const uint64_t holdUs_;

    KESTREL::WLock lock_;
    std::deque<PushDataInfo> audio_ GUARDED_BY(lock_);
    std::deque<PushDataInfo> video_ GUARDED_BY(lock_);
    size_t bytes_ GUARDED_BY(lock_) = 0;
    bool skipVideoToKey_ GUARDED_BY(lock_) = false;
    uint64_t skippedVideo_ GUARDED_BY(lock_) = 0;
    uint64_t newestMs_ GUARDED_BY(lock_) = 0;
    uint64_t lastAudioUs_ GUARDED_BY(lock_) = 0;  // when each kind last appended
    uint64_t lastVideoUs_ GUARDED_BY(lock_) = 0;
    bool audioSeen_ GUARDED_BY(lock_) = false;
    bool videoSeen_ GUARDED_BY(lock_) = false;
    uint32_t backlogCounter_ GUARDED_BY(lock_) = 0;

    static std::atomic<uint32_t> refusals_;
};

}  // namespace streammanager
