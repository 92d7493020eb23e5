// The booking table of one context: which sink receives the units of which stream key, and
// one playback clock per user for audio and encoded video. Bookings come from the pump thread;
// OnStreamData runs on the receiver threads. lock_ (re-entrant) guards the bookings and the
// clocks and is held while a sink is called, so once RemoveInputStream returns the removed
// sink receives nothing more. Lock order: the context's lock, then lock_, then an input's lock.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

#include "base/WLock.h"
#include "interfaces/IUnknown.h"
#include "media/CAVPlaySyncTime.h"
#include "media/IQXMediaSink.h"
#include "media/MediaTypes.h"

namespace streammanager {

enum ProtocolResult : uint16_t {
    kBooked = 0,
    kBookMissingArgument = 30000,
    kBookAlreadyBooked = 30012,
    kBookClockFailed = 16389,
};

class QXProtocol {
  public:
    QXProtocol() = default;
    ~QXProtocol();
    QXProtocol(const QXProtocol&) = delete;
    QXProtocol& operator=(const QXProtocol&) = delete;

    // 0, or E_FAIL when either pointer is null.
    int32_t Init(int32_t contextId, IUnknown* factory, void* sessionManager);
    uint16_t AddInputStream(const InputStreamKey* key, IQXMediaSink* sink);
    void RemoveInputStream(const InputStreamKey* key);
    void OnStreamData(uint8_t type, uint8_t mediaId, const uint8_t* data, uint32_t length,
                      uint32_t userId, uint16_t valueA, uint16_t valueB);
    // Calls ResetFrameCount on every booked sink.
    void ResetFrameCounts();

  private:
    struct Booking {
        InputStreamKey key;
        IQXMediaSink* sink;
    };

    int32_t contextId_ = 0;
    KESTREL::WLock lock_;
    std::list<Booking> bookings_ GUARDED_BY(lock_);
    std::unordered_map<uint32_t, std::shared_ptr<CAVPlaySyncTime>> clocks_ GUARDED_BY(lock_);
};

}  // namespace streammanager
