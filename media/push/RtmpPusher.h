// One live push to one CDN URL. RtmpPusher is a KESTREL::WThread whose thread (the push
// thread) walks the states of PushState.h: it connects, reconnects after failures (2000 ms
// apart) and sends what the output caches, in the order of its media time: onMetaData and the
// AVC sequence header before the first key frame, the AAC sequence header before the first
// audio frame, then one message per unit. A unit's timestamp is its media time (when its
// content was captured) less the pusher's origin, the media time of the first unit it sent;
// each kind's timestamps only grow, across reconnects too, and wrap at 2^32 ms as RTMP's do.
//
// A slow link never lets the delay grow without bound: the pusher measures its backlog in
// media time (what waits in its cache and what its socket has not had acknowledged) and, above
// the drop threshold, drops video up to the next key frame (asking the output for one); sound
// is never dropped. It reports what it does (PusherStats) and logs it every 10 s.
//
// Owns its sender (the connection and the packaging, IStreamSender), its push cache with the
// units' buffers, its thread and its wake-up; not the allocator. Owned through a shared owner
// by the context's Output, one per URL. Threads:
// - the control path: construction, InitRtmpPusher (before StartThread), StartThread,
//   StopRtmpThread, destruction;
// - the output's audio and video threads: CachePushData, SetMetaData, SetVideoStatus,
//   SetEncoderState;
// - the push thread: everything else: the state, the sender, the timeline, the backlog;
// - any thread: Statistics, GetState.
// Locks: the cache lock (inside PushDataCache) guards the cache and is never held while
// sending; metaLock_ guards the metadata and is a leaf. The identity (URL, context id, CDN
// label) is written by the first InitRtmpPusher, before the thread starts, and only read
// afterwards. The output's threads never wait for the connection: they touch only the
// allocator, the cache lock, metaLock_, atomics and the wake-up.
// Each pusher has its own wake-up (wakeUp_, an unnamed semaphore): the push thread waits on it
// while it has nothing to do, and every unit appended and the stop request release it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/WThread.h"
#include "interfaces/IMemoryAllocator.h"
#include "media/push/H264ParameterSets.h"
#include "media/push/IRtmpConnection.h"
#include "media/push/IStreamSender.h"
#include "media/push/PushDataCache.h"
#include "media/push/PushState.h"
#include "media/push/PusherStats.h"
#include "media/push/StreamMetaData.h"
#include "media/push/WireBacklog.h"
#include "platform/Event.h"
#include "platform/Mutex.h"
#include "platform/Semaphore.h"
#include "platform/ThreadAnnotations.h"

namespace streammanager {

class RtmpPusher : public KESTREL::WThread {
  public:
    // Values of GetState().
    static constexpr int32_t kStateCreated = 0;
    static constexpr int32_t kStateInitialised = 1;
    static constexpr int32_t kStateConnected = 2;
    static constexpr int32_t kStateReleased = 4;
    // The URL buffer holds this many characters and the terminating NUL; longer ones are
    // refused by InitRtmpPusher.
    static constexpr size_t kMaxUrlLength = 2047;
    static constexpr uint32_t kRetryDelayMs = 2000;
    // The longest a unit waits for one of the other kind to go out before it: an audio frame.
    static constexpr uint64_t kInterleaveHoldUs = 21334;
    // Above this backlog (configuration "RtmpPusher.DropThresholdMs"), video is dropped.
    static constexpr int32_t kDefaultDropThresholdMs = 700;

    // What tests and benchmarks may replace; empty members take the real ones.
    struct Options {
        // How the stream leaves; default: RTMP (RtmpSender) over `connection`.
        std::unique_ptr<IStreamSender> sender;
        std::unique_ptr<IRtmpConnection> connection;  // default: librtmp (RtmpConnection)
        std::function<uint64_t()> clockUs;            // default: the monotonic clock
        uint32_t firstTimestampMs = 0;  // the first unit's timestamp (tests of long streams)
        uint32_t retryDelayMs = kRetryDelayMs;  // pause before a reconnect
        int32_t dropThresholdMs = kDefaultDropThresholdMs;
        // Asks the output's encoder for a key frame (after a drop, or a new connection).
        std::function<void()> requestKeyFrame;
    };

    // `allocator` (not owned) provides the buffers of cached units and must outlive the pusher.
    explicit RtmpPusher(IMemoryAllocator* allocator);
    RtmpPusher(IMemoryAllocator* allocator, Options options);
    ~RtmpPusher() override;
    RtmpPusher(const RtmpPusher&) = delete;
    RtmpPusher& operator=(const RtmpPusher&) = delete;

    // Stores the URL, labels the CDN and asks the push thread to connect; before StartThread.
    // 0, or E_FAIL for a null URL or one longer than kMaxUrlLength. A second call only logs.
    int32_t InitRtmpPusher(const char* url, int32_t contextId);
    // Ends the push thread (cutting short a connect or send that does not return by itself),
    // drops the cache and closes the connection: state 4. Safe to call twice.
    void StopRtmpThread();
    // Caches one unit: kind 1 (AAC frame with ADTS header, keyFrame 0) or kind 2 (H.264 access
    // unit, Annex-B, with the encoder's key-frame flag), captured at `mediaMs` (the monotonic
    // clock). 0 when cached; E_FAIL when dropped (bad arguments, an audio unit no longer than
    // its ADTS header, allocator exhausted, cache full, video dropped up to a key frame).
    int32_t CachePushData(int32_t type, int32_t length, const uint8_t* data, uint32_t keyFrame,
                          uint64_t mediaMs);
    // A change restarts the video: the next key frame sends the metadata and AVC sequence
    // header again, and audio waits for it.
    void SetMetaData(const StreamMetaData& meta);
    // The stream carries video (status 1): audio waits for the first key frame.
    void SetVideoStatus(int32_t status = 1);
    // The output's current video bitrate and encoder level, for the statistics.
    void SetEncoderState(int32_t kbps, int32_t level) {
        encoderKbps_.store(kbps);
        encoderLevel_.store(level);
    }
    // Drops every cached unit.
    void ClearPushDataCache();
    PusherStats Statistics() const;

    int32_t ThreadProcEx() override;
    // Asks the push thread to end and wakes it, however the stop comes (StopRtmpThread or
    // StopThread).
    void SignalStop() override;

    const std::string& GetCdnUrl() const { return url_; }
    int32_t GetState() const;
    size_t GetCachedCount() { return m_cache_push_data_list.Size(); }

  private:
    // The states' work (push thread).
    void To(PushState next);
    void Connect();
    void SendNext();
    bool SendAudio(const PushDataInfo& unit);
    bool SendVideo(const PushDataInfo& unit);
    // A send failed: close, drop what waits and wait to reconnect.
    void Fail();
    // The unit's timestamp on this pusher's timeline.
    uint32_t TimestampOf(const PushDataInfo& unit);
    // Backlog and drops, the send rate, the statistics line: looked at every pass.
    void Tick(uint64_t nowUs);
    int32_t BacklogMs();
    void NoteSent(const PushDataInfo& unit);
    // What reached the server of `written` bytes: neither still queued nor given up on.
    static uint64_t Delivered(uint64_t written, uint64_t queued, uint64_t dropped);
    // The media among `delivered` bytes of the current connection.
    uint64_t MediaShare(uint64_t delivered) const;
    void RequestKeyFrame();
    void LogStatistics();

    // Passed by argument.
    IMemoryAllocator* const allocator_;
    const std::unique_ptr<IStreamSender> sender_;
    const std::function<uint64_t()> clockUs_;
    const uint32_t firstTimestampMs_;
    const uint32_t retryDelayMs_;
    const int32_t dropThresholdMs_;
    const std::function<void()> requestKeyFrame_;

    // Identity: written by the first InitRtmpPusher (before the thread starts and before any
    // unit is cached), read-only afterwards.
    std::string url_;
    std::string shownUrl_;  // for log lines and statistics: a passphrase hidden
    int32_t contextId_ = 0;
    std::string cdnName_;

    std::atomic<PushState> state_{PushState::kCreated};
    std::atomic<bool> hasVideo_{false};

    platform::Mutex metaLock_;
    StreamMetaData meta_ GUARDED_BY(metaLock_);
    // Counts metadata changes; the push thread compares it with the one its video started at.
    uint32_t metaGeneration_ GUARDED_BY(metaLock_) = 0;

    // The push thread's own (and the owner's once the thread has ended).
    uint32_t startedGeneration_ = 0;
    H264ParameterSets parameterSets_;
    WireBacklog wire_;
    bool originSet_ = false;
    uint64_t originMs_ = 0;
    uint64_t lastAudioStamp_ = 0;  // each kind's last timestamp, before the cut to 32 bits
    uint64_t lastVideoStamp_ = 0;
    uint64_t lastSentMediaMs_ = 0;
    uint64_t ackedBefore_ = 0;      // acknowledged bytes of the connections before this one
    uint64_t mediaBefore_ = 0;      // and the media among them
    uint64_t mediaBytes_ = 0;       // media handed to the current connection
    uint64_t rateSamples_[3] = {};  // acknowledged media bytes, a second apart
    uint64_t nextSampleUs_ = 0;
    uint64_t nextLogUs_ = 0;

    // Statistics, read from any thread.
    std::atomic<uint64_t> bytesSent_{0};
    std::atomic<int32_t> sendKbps_{0};
    std::atomic<int32_t> backlogMs_{0};
    std::atomic<int32_t> deadlineMs_{0};
    std::atomic<uint64_t> videoDropped_{0};
    std::atomic<uint32_t> reconnects_{0};
    std::atomic<uint32_t> connectFailures_{0};
    std::atomic<int32_t> lastError_{0};
    std::atomic<int32_t> encoderKbps_{0};
    std::atomic<int32_t> encoderLevel_{0};

    PushDataCache m_cache_push_data_list{kInterleaveHoldUs};
    // Counts to one: the push thread looks at the flags and the cache after every wake-up.
    platform::Semaphore wakeUp_{0, 1};
    platform::Event threadEnded_;
};

}  // namespace streammanager
