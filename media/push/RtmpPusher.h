// One live push to one CDN URL. RtmpPusher is a KESTREL::WThread whose thread (the push
// thread) opens an RTMP publishing connection, reconnects after failures (2000 ms apart) and
// sends what the output caches, in the order of its media time: onMetaData and the AVC sequence
// header before the first key frame, the AAC sequence header before the first audio frame,
// then one FLV-style message per unit. A unit's timestamp is its media time (when its content
// was captured) less the pusher's origin, the media time of the first unit it sent; each kind's
// timestamps only grow, across reconnects too, and wrap at 2^32 ms as RTMP's do.
//
// Owns its connection (the librtmp handle behind IRtmpConnection), its push cache with the
// units' buffers, its thread and its wake-up; not the allocator. Owned through a shared owner
// by the context's Output, one per URL. Threads:
// - the control path: construction, InitRtmpPusher, StartThread, StopRtmpThread, destruction;
// - the output's audio and video threads: CachePushData, SetMetaData, SetVideoStatus;
// - the push thread: connecting, sending and re-initialising after a failure; the timeline
//   (origin and last timestamps) is its own.
// Locks: sendLock_ (re-entrant) is held by the push thread around each connect and send and
// guards the connection; a failed send re-initialises inside it, through the 2000 ms pause,
// and takes the cache lock and initLock_ there (never the other way round). The cache lock,
// inside PushDataCache, guards the cache and is never held while sending. metaLock_ guards the
// metadata values; it is a leaf. The identity (URL, context id,
// CDN label) is written once, by the first InitRtmpPusher before the thread starts and before
// any unit is cached, and only read afterwards. A pusher is started once; after StopRtmpThread
// (state 4) it is only destroyed.
// Each pusher has its own wake-up (wakeUp_, an unnamed semaphore): the push thread waits on it
// while it has nothing to do, and InitRtmpPusher, every unit appended to the cache and the stop
// request release it. A wake-up shared by several pushers could be taken by another pusher's
// thread, leaving the unit to wait out that wait's bound; with its own, a unit leaves as soon
// as its push thread is free.
// The output's threads never wait for a connection: CachePushData, SetMetaData and
// SetVideoStatus take neither sendLock_ nor initLock_ and never touch the connection, only the
// allocator, the cache lock, metaLock_ and the wake-up, none of which is held while connecting
// or sending. A pusher whose CDN refuses, or accepts and never answers, only fills
// its own cache (up to its bound, then refuses units) and delays no other pusher.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/WLock.h"
#include "base/WThread.h"
#include "interfaces/IMemoryAllocator.h"
#include "media/push/H264ParameterSets.h"
#include "media/push/IRtmpConnection.h"
#include "media/push/PushDataCache.h"
#include "media/push/StreamMetaData.h"
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

    // What tests and benchmarks may replace; empty members take the real ones.
    struct Options {
        std::unique_ptr<IRtmpConnection> connection;  // default: librtmp (RtmpConnection)
        std::function<uint64_t()> clockUs;            // default: the monotonic clock
        uint32_t firstTimestampMs = 0;  // the first unit's timestamp (tests of long streams)
        uint32_t retryDelayMs = kRetryDelayMs;  // pause before a reconnect
    };

    // `allocator` (not owned) provides the buffers of cached units and must outlive the pusher.
    explicit RtmpPusher(IMemoryAllocator* allocator);
    RtmpPusher(IMemoryAllocator* allocator, Options options);
    ~RtmpPusher() override;
    RtmpPusher(const RtmpPusher&) = delete;
    RtmpPusher& operator=(const RtmpPusher&) = delete;

    // Stores the URL (the first call's URL and context id stay for the pusher's life), labels
    // the CDN and asks the push thread to connect. 0, or E_FAIL for a null URL or one longer
    // than kMaxUrlLength. A second call without a re-initialisation in between only logs.
    int32_t InitRtmpPusher(const char* url, int32_t contextId);
    // Ends the push thread (cutting short a connect or send that does not return by itself),
    // drops the cache and closes the connection: state 4. Safe to call twice.
    void StopRtmpThread();
    // Caches one unit: kind 1 (AAC frame with ADTS header, keyFrame 0) or kind 2 (H.264 access
    // unit, Annex-B, with the encoder's key-frame flag), captured at `mediaMs` (the monotonic
    // clock). 0 when cached; E_FAIL when dropped (bad arguments, an audio unit no longer than
    // its ADTS header, allocator exhausted, cache full).
    int32_t CachePushData(int32_t type, int32_t length, const uint8_t* data, uint32_t keyFrame,
                          uint64_t mediaMs);
    // A change restarts the video: the next key frame sends the metadata and AVC sequence
    // header again, and audio waits for it.
    void SetMetaData(const StreamMetaData& meta);
    // The stream carries video (status 1): audio waits for the first key frame.
    void SetVideoStatus(int32_t status = 1);
    // Drops every cached unit.
    void ClearPushDataCache();

    int32_t ThreadProcEx() override;
    // Asks the push thread to end and wakes it, however the stop comes (StopRtmpThread or
    // StopThread).
    void SignalStop() override;

    const std::string& GetCdnUrl() const { return url_; }
    const std::string& GetCdnName() const { return cdnName_; }
    int32_t GetContextId() const { return contextId_; }
    int32_t GetState() const { return state_.load(); }
    size_t GetCachedCount() { return m_cache_push_data_list.Size(); }

  private:
    // Connecting and re-initialising (push thread); releasing (the owner, after the thread).
    bool ConnectToCDN();
    bool FailConnect();
    void ReInitRtmpPusher() REQUIRES(sendLock_);
    int32_t UinitRtmpPusher();
    void ReleaseRtmpSource();

    // Sending one cached unit and the messages around it (push thread): waits while the next
    // unit is held for interleaving.
    void SendCachedData();
    // The unit's timestamp on this pusher's timeline (push thread).
    uint32_t TimestampOf(const PushDataInfo& unit);
    void PushAudioStream(const uint8_t* data, int32_t length, uint32_t timestamp);
    void PushVideoStream(const uint8_t* data, int32_t length, uint32_t keyFrame,
                         uint32_t timestamp);
    bool SendMetaData(uint32_t* generation) REQUIRES(sendLock_);
    bool SendAVCSeqHeader(const uint8_t* sps, uint32_t spsLength, const uint8_t* pps,
                          uint32_t ppsLength, uint32_t timestamp) REQUIRES(sendLock_);
    bool SendAACSeqHeader(uint32_t timestamp) REQUIRES(sendLock_);
    bool SendAudioData(const uint8_t* data, int32_t length, uint32_t timestamp) REQUIRES(sendLock_);
    bool SendVideoData(const uint8_t* data, int32_t length, uint32_t keyFrame, uint32_t timestamp)
        REQUIRES(sendLock_);
    static RtmpMessage Message(uint8_t type, uint32_t chunkStream, uint32_t timestamp,
                               const uint8_t* payload, uint32_t payloadSize,
                               const uint8_t* prefix = nullptr, uint32_t prefixSize = 0);
    // Sends one message; when it does not go out, logs `failureFormat` (filled with the error,
    // the context id and the CDN name) and re-initialises the connection. True when sent.
    bool SendOrReInit(const RtmpMessage& message, const char* failureFormat) REQUIRES(sendLock_);

    // Passed by argument. The connection is used under sendLock_, except for Abort, which
    // any thread may call.
    IMemoryAllocator* const allocator_;
    const std::unique_ptr<IRtmpConnection> connection_;
    const std::function<uint64_t()> clockUs_;
    const uint32_t firstTimestampMs_;
    const uint32_t retryDelayMs_;

    // Identity: written by the first InitRtmpPusher (before the thread starts and before any
    // unit is cached), read-only afterwards.
    platform::Mutex initLock_;
    bool identitySet_ GUARDED_BY(initLock_) = false;
    std::string url_;
    int32_t contextId_ = 0;
    std::string cdnName_;

    // Flags and values shared between the threads.
    std::atomic<bool> inited_{false};
    std::atomic<bool> hasVideo_{false};
    std::atomic<int32_t> m_send_data{0};
    std::atomic<bool> videoStarted_{false};
    std::atomic<uint32_t> m_uiSampleRate{0};
    std::atomic<int32_t> state_{kStateCreated};
    std::atomic<bool> connectRequested_{false};

    // The push thread's own (and the owner's once the thread has ended).
    uint32_t retryCount_ = 0;
    // What the current connection has been sent.
    bool aacHeaderSent_ GUARDED_BY(sendLock_) = false;
    H264ParameterSets parameterSets_ GUARDED_BY(sendLock_);

    platform::Mutex metaLock_;
    StreamMetaData meta_ GUARDED_BY(metaLock_);
    // Counts metadata changes, so a change during a key frame's headers is not lost.
    uint32_t metaGeneration_ GUARDED_BY(metaLock_) = 0;

    // The timeline (push thread): the origin and each kind's last timestamp, before the cut
    // to 32 bits.
    bool originSet_ = false;
    uint64_t originMs_ = 0;
    uint64_t lastAudioStamp_ = 0;
    uint64_t lastVideoStamp_ = 0;

    PushDataCache m_cache_push_data_list{kInterleaveHoldUs};
    KESTREL::WLock sendLock_ ACQUIRED_BEFORE(initLock_, metaLock_);
    // Counts to one: the push thread looks at the flags and the cache after every wake-up.
    platform::Semaphore wakeUp_{0, 1};
    platform::Event threadEnded_;
};

}  // namespace streammanager
