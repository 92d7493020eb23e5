// One booked media stream of a context, as the output sees it. Hands each unit to the attached
// sink; while no sink is attached it keeps the encoded video from the last key frame on, so a
// sink attached later starts with a decodable picture.
//
// DeliverMediaData runs on a receiver thread (inside the protocol's lock); SetSink, booking and
// unbooking on the pump thread. lock_ guards the sink and the cache and is held while the sink
// is called, so after SetSink(nullptr) returns the old sink receives nothing more.
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "base/WElementAllocator.h"
#include "base/WFlexBuffer.h"
#include "base/WLock.h"
#include "media/IInputMediaSink.h"
#include "media/IPlaySyncTime.h"
#include "media/MediaTypes.h"

namespace streammanager {

class Input {
  public:
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
    // Frames held while no sink is attached (for tests and diagnostics).
    size_t CachedFrameCount();

  protected:
    void DeliverMediaData(const MediaDataDesc& desc, const uint8_t* data, uint32_t length);

  private:
    struct CachedVideoData {
        KESTREL::WFlexBuffer* buffer;
        MediaDataDesc desc;
    };

    void FlushCacheTo(IInputMediaSink* sink) REQUIRES(lock_);
    void CacheVideo(const MediaDataDesc& desc, const uint8_t* data, uint32_t length)
        REQUIRES(lock_);
    void ClearCache() REQUIRES(lock_);

    KESTREL::WLock lock_;
    const int32_t inputHandle_;
    std::list<CachedVideoData> cache_ GUARDED_BY(lock_);
    KESTREL::WElementAllocator<KESTREL::WFlexBuffer> bufferPool_{100};
    IInputMediaSink* sink_ GUARDED_BY(lock_) = nullptr;
};

}  // namespace streammanager
