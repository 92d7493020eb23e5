// The booking table of one context: which sink receives the units of which stream key, and one
// playback clock per user for that user's audio and encoded video.
//
// Owns the bookings (not their sinks: each sink is the QXInput that booked, owned by the
// context) and the clocks, which the sinks and the output see as plain pointers. Owned by the
// Context through a shared owner that the receivers copy for each delivery, so dropping it
// never pulls the table from under a unit on its way.
// Threads: bookings and removals come from the pump thread; OnStreamData from the context's
// receiver threads. lock_ (re-entrant) guards the bookings and the clocks and is held while a
// sink is called, so once RemoveInputStream returns the removed sink receives nothing more.
// Lock order: the context's lock, then lock_, then the input's lock, then the output's.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

#include "base/WLock.h"
#include "interfaces/IUnknown.h"
#include "media/input/CAVPlaySyncTime.h"
#include "media/input/IQXMediaSink.h"
#include "media/input/MediaTypes.h"

namespace streammanager {

class QXProtocol {
  public:
    // Makes the users' playback clocks; tests put a failing one in.
    using ClockFactory = std::shared_ptr<CAVPlaySyncTime> (*)();

    explicit QXProtocol(ClockFactory makeClock = &MakeClock) : makeClock_(makeClock) {}
    ~QXProtocol();
    QXProtocol(const QXProtocol&) = delete;
    QXProtocol& operator=(const QXProtocol&) = delete;

    // 0, or E_FAIL when either pointer is null.
    int32_t Init(int32_t contextId, IUnknown* factory, void* sessionManager);
    // A ResultCode: kResultOk, kResultContextInitFailed (no key or sink), kResultStreamBooked,
    // or kResultClockFailed; a refused booking leaves the table as it was.
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

    static std::shared_ptr<CAVPlaySyncTime> MakeClock();
    // The user's clock, made on first use; null when it cannot be made.
    CAVPlaySyncTime* ClockOf(uint32_t userId) REQUIRES(lock_);

    // Passed by argument.
    const ClockFactory makeClock_;
    int32_t contextId_ = 0;  // set by Init, before any booking

    // Others.
    KESTREL::WLock lock_;
    std::list<Booking> bookings_ GUARDED_BY(lock_);
    std::unordered_map<uint32_t, std::shared_ptr<CAVPlaySyncTime>> clocks_ GUARDED_BY(lock_);
};

}  // namespace streammanager
