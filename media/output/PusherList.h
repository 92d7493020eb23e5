// The pushers of one output, one per CDN URL (RTMP or SRT), kept in the order of the URL list.
//
// Owns the pushers through shared owners. A member of the Output.
// Threads: the control path changes the list (Update, StopAll) and the metadata (both only
// there, so a pusher Update makes cannot miss a SetMetaData); the mixer's thread hands every
// video unit to all pushers, the audio path every AAC frame. lock_ (the output's pusher lock)
// guards the list and is held only while it is read or changed: pushers are stopped, started
// and waited for outside it, so a CDN that refuses or hangs never holds up the units of the
// others, and a pusher's CachePushData never blocks on its connection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/SequenceChecker.h"
#include "base/WLock.h"
#include "interfaces/IMemoryAllocator.h"
#include "media/output/IEncodedSink.h"
#include "media/push/RtmpPusher.h"
#include "media/push/StreamMetaData.h"

namespace streammanager {

class PusherList : public IEncodedSink {
  public:
    // More CDNs than this in one command are refused (logged), as are URLs longer than a
    // pusher takes, URLs of other schemes than librtmp's and srt://, and SRT URLs with options
    // SrtUrl does not take.
    static constexpr size_t kMaxPushers = 32;

    PusherList() = default;
    PusherList(const PusherList&) = delete;
    PusherList& operator=(const PusherList&) = delete;

    // The allocator every new pusher takes its units' buffers from (set before Update).
    void SetAllocator(IMemoryAllocator* allocator) { allocator_ = allocator; }
    // What every new pusher is made with: its drop threshold, and how it asks the output for
    // a key frame (set before Update).
    void SetPushOptions(int32_t dropThresholdMs, std::function<void()> requestKeyFrame);
    // Makes the list match `urls`: a pusher whose URL is listed stays as it is (same
    // connection, no gap), the others are stopped and dropped, and each remaining URL gets a
    // new pusher with the current metadata, started (empty and refused URLs get none). 0, or E_FAIL
    // when a pusher cannot be made (those made before stay).
    int32_t Update(const std::vector<std::string>& urls, int32_t contextId);
    // Stops every pusher's thread; the pushers stay in the list.
    void StopAll();

    // One unit for every pusher, captured at `mediaMs` (the monotonic clock).
    void CacheVideo(const uint8_t* data, int32_t length, uint32_t keyFrame,
                    uint64_t mediaMs) override;
    void CacheAudio(const uint8_t* data, int32_t length, uint64_t mediaMs) override;
    // Keeps `meta` as the current metadata and hands it to every pusher.
    void SetMetaData(const StreamMetaData& meta);
    StreamMetaData MetaData();
    // The output's current video bitrate and encoder level, for every pusher's statistics.
    void SetEncoderState(int32_t kbps, int32_t level);
    std::vector<PusherStats> Statistics();
    void SetVideoStatus();
    // The pushers, in list order (a copy, for tests and diagnostics).
    std::vector<std::shared_ptr<RtmpPusher>> Pushers();

  private:
    template <typename Call>
    void ForEach(Call&& call) {
        KESTREL::WAutoLock lock(&lock_);
        for (const auto& pusher : pushers_) {
            call(*pusher);
        }
    }

    // The control path's (control_ checks it); the allocator is not owned.
    KESTREL::SequenceChecker control_;
    IMemoryAllocator* allocator_ = nullptr;
    int32_t dropThresholdMs_ GUARDED_BY(control_) = RtmpPusher::kDefaultDropThresholdMs;
    std::function<void()> requestKeyFrame_ GUARDED_BY(control_);

    KESTREL::WLock lock_;
    std::vector<std::shared_ptr<RtmpPusher>> pushers_ GUARDED_BY(lock_);
    StreamMetaData meta_ GUARDED_BY(lock_);
    int32_t encoderKbps_ GUARDED_BY(lock_) = 0;
    int32_t encoderLevel_ GUARDED_BY(lock_) = 0;
};

}  // namespace streammanager
