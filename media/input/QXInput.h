// The input of one stream of the shared-memory protocol: books its key with the context's
// QXProtocol, turns each raw unit into a descriptor and payload and hands it on through Input.
//
// Owns its key and its count of raw pictures; not the protocol (the context's) nor the clock
// (the protocol's). Owned by the context's input table through a shared owner.
// Threads: booking and unbooking on the pump thread; OnMediaData on a receiver thread inside
// the protocol's lock, ResetFrameCount inside that lock too. The clock pointer is set during
// booking, before any unit can arrive, and read atomically; the picture count is atomic, as
// the two callers hold another object's lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/input/IQXMediaSink.h"
#include "media/input/Input.h"
#include "media/input/QXProtocol.h"
#include "platform/Clock.h"

namespace streammanager {

// The 8-byte header in front of an encoded video unit.
struct EncodedVideoHeader {
    MediaDataDesc desc;
    uint32_t headerLength = 0;  // 8 + the extension length
};
// False when the unit is shorter than its header.
bool ParseEncodedVideoHeader(uint8_t mediaType, const uint8_t* data, uint32_t length,
                             EncodedVideoHeader* header);

class QXInput final : public Input, public IQXMediaSink {
  public:
    using TickSource = uint32_t (*)();

    // A null protocol is logged; BookStream then answers 30000.
    QXInput(int32_t contextId, int32_t inputHandle, QXProtocol* protocol, const InputStreamKey& key,
            TickSource tick = &platform::TickCountMs);
    ~QXInput() override;

    IPlaySyncTime* GetSyncTimer() override { return syncTimer_.load(); }
    uint16_t BookStream() override;
    void UnbookStream() override;
    uint8_t GetMediaType() override { return key_.mediaType; }
    const InputStreamKey* GetStreamKey() override { return &key_; }

    int32_t OnMediaData(uint8_t mediaType, const uint8_t* data, uint32_t length, uint16_t valueA,
                        uint16_t valueB) override;
    int32_t SetSyncTimer(IPlaySyncTime* clock) override;
    int32_t ResetFrameCount() override;

  private:
    const int32_t contextId_;
    QXProtocol* const protocol_;
    const InputStreamKey key_;
    const TickSource tick_;
    std::atomic<uint32_t> rawPictureCount_{0};
    std::atomic<IPlaySyncTime*> syncTimer_{nullptr};
};

}  // namespace streammanager
