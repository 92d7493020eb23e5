// One booked media stream of a context, as the output sees it. Hands each unit to the attached
// sink; while no sink is attached it keeps the encoded video from the last key frame on, so a
// sink attached later starts with a decodable picture. The kept video is bounded: past
// kMaxCachedUnits units or kMaxCachedBytes bytes (a long GOP, or a host that never sends a key
// frame) it is dropped, and keeping starts again at the next key frame.
//
// Owns the kept units (their bytes one after another in one block that never grows past
// kMaxCachedBytes and is reused); not the sink (the context's Output).
// Input is the base of QXInput, which the context's input table owns through a shared owner.
// Threads: DeliverMediaData runs on a receiver thread (inside the protocol's lock); SetSink,
// booking and unbooking on the pump thread. lock_ guards the sink and the kept units and is
// held while the sink is called, so after SetSink(nullptr) returns the old sink receives
// nothing more. Lock order: the protocol's lock, then lock_, then the sink's own locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/WLock.h"
#include "interfaces/IPlaySyncTime.h"
#include "media/input/IInputMediaSink.h"
#include "media/input/MediaTypes.h"

namespace streammanager {

class Input {
  public:
    static constexpr size_t kMaxCachedUnits = 300;
    static constexpr size_t kMaxCachedBytes = size_t{8} << 20;

    explicit Input(int32_t inputHandle) : inputHandle_(inputHandle) {}
    virtual ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    virtual IPlaySyncTime* GetSyncTimer() = 0;
    virtual uint16_t BookStream() = 0;
    virtual void UnbookStream() = 0;
    virtual uint8_t GetMediaType() = 0;
    virtual const InputStreamKey* GetStreamKey() = 0;

    // Attaches (or with null detaches) the sink; returns 0.
    int32_t SetSink(IInputMediaSink* sink);
    int32_t GetInputHandle() const { return inputHandle_; }
    // What is kept while no sink is attached (for tests and diagnostics).
    size_t CachedFrameCount();
    size_t CachedBytes();

  protected:
    void DeliverMediaData(const MediaDataDesc& desc, const uint8_t* data, uint32_t length);

  private:
    struct CachedUnit {
        size_t offset;  // into cacheBytes_
        uint32_t length;
        MediaDataDesc desc;
    };

    void FlushCacheTo(IInputMediaSink* sink) REQUIRES(lock_);
    void CacheVideo(const MediaDataDesc& desc, const uint8_t* data, uint32_t length)
        REQUIRES(lock_);
    // Drops what is kept when one unit more would pass a bound; true when it did.
    bool DropCacheOverBound(uint32_t length) REQUIRES(lock_);
    void ClearCache() REQUIRES(lock_);

    // Passed by argument.
    const int32_t inputHandle_;

    // Others.
    KESTREL::WLock lock_;
    IInputMediaSink* sink_ GUARDED_BY(lock_) = nullptr;
    std::vector<CachedUnit> cache_ GUARDED_BY(lock_);
    std::vector<uint8_t> cacheBytes_ GUARDED_BY(lock_);
    uint64_t cacheDrops_ GUARDED_BY(lock_) = 0;
};

}  // namespace streammanager
