#include "media/input/QXProtocol.h"

#include <new>

#include "base/Log.h"
#include "base/ResultCodes.h"

namespace streammanager {

QXProtocol::~QXProtocol() {
    SC_LOG("Destroy QXProtocol by context: %d \n", contextId_);
}

int32_t QXProtocol::Init(int32_t contextId, IUnknown* factory, void* sessionManager) {
    if (factory == nullptr || sessionManager == nullptr) {
        SC_LOG("QXProtocol::Init failed, param is NULL.\n");
        return E_FAIL;
    }
    contextId_ = contextId;
    return 0;
}

uint16_t QXProtocol::AddInputStream(const InputStreamKey* key, IQXMediaSink* sink) {
    if (key == nullptr || sink == nullptr) {
        return kResultContextInitFailed;
    }
    SC_LOG("QXProtocol::AddInputStream user id: %d, media type: %d, media id: %d.\n",
           static_cast<int>(key->userId), key->mediaType, key->mediaId);
    KESTREL::WAutoLock lock(&lock_);
    for (const Booking& booking : bookings_) {
        if (booking.key == *key) {
            SC_LOG(
                "QXProtocol::AddInputStream this stream is already booked, user id: %d, media "
                "type: %d, media id: %d.\n",
                static_cast<int>(key->userId), key->mediaType, key->mediaId);
            return kResultStreamBooked;
        }
    }
    if (IsRawPicture(key->mediaType)) {
        bookings_.push_back(Booking{*key, sink});
        return kResultOk;
    }
    CAVPlaySyncTime* clock = ClockOf(key->userId);
    if (clock == nullptr) {
        SC_LOG("QXProtocol::AddInputStream, Create shared ptr failed.\n");
        return kResultClockFailed;
    }
    bookings_.push_back(Booking{*key, sink});
    sink->SetSyncTimer(clock);
    return kResultOk;
}

std::shared_ptr<CAVPlaySyncTime> QXProtocol::MakeClock() {
    return std::shared_ptr<CAVPlaySyncTime>(new (std::nothrow) CAVPlaySyncTime());
}

CAVPlaySyncTime* QXProtocol::ClockOf(uint32_t userId) {
    std::shared_ptr<CAVPlaySyncTime>& clock = clocks_[userId];
    if (!clock) {
        clock = makeClock_();
    }
    if (!clock) {
        clocks_.erase(userId);
        return nullptr;
    }
    return clock.get();
}

void QXProtocol::RemoveInputStream(const InputStreamKey* key) {
    if (key == nullptr) {
        return;
    }
    {
        KESTREL::WAutoLock lock(&lock_);
        for (auto it = bookings_.begin(); it != bookings_.end(); ++it) {
            if (it->key == *key) {
                bookings_.erase(it);
                break;
            }
        }
    }
    SC_LOG("QXProtocol::RemoveInputStream Stop recv media type:%d,user:%d", key->mediaType,
           static_cast<int>(key->userId));
}

void QXProtocol::OnStreamData(uint8_t type, uint8_t mediaId, const uint8_t* data, uint32_t length,
                              uint32_t userId, uint16_t valueA, uint16_t valueB) {
    if (type != kMediaAudio && type != kMediaEncodedVideo && !IsRawPicture(type)) {
        return;
    }
    InputStreamKey key;
    key.userId = userId;
    key.mediaType = MapMediaType(type, mediaId);
    key.mediaId = mediaId;
    KESTREL::WAutoLock lock(&lock_);
    for (const Booking& booking : bookings_) {
        if (booking.key == key) {
            booking.sink->OnMediaData(key.mediaType, data, length, valueA, valueB);
            return;
        }
    }
}

void QXProtocol::ResetFrameCounts() {
    KESTREL::WAutoLock lock(&lock_);
    for (const Booking& booking : bookings_) {
        booking.sink->ResetFrameCount();
    }
}

}  // namespace streammanager
