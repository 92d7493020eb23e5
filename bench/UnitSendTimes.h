// The program's librtmp connection, noting when each video unit (a message with the 9-byte
// FLV video prefix) has left RTMP_SendPacket, in order. SendPacket runs on the push thread;
// SentUs may be called from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "media/push/RtmpConnection.h"
#include "platform/Clock.h"

namespace bench {

class UnitSendTimes : public streammanager::RtmpConnection {
  public:
    bool SendPacket(const streammanager::RtmpMessage& message) override {
        const bool sent = RtmpConnection::SendPacket(message);
        if (message.type == 9 && message.prefixSize == 9) {
            std::lock_guard<std::mutex> lock(mutex_);
            sentUs_.push_back(platform::MonotonicMicros());
        }
        return sent;
    }
    std::vector<uint64_t> SentUs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sentUs_;
    }

  private:
    std::mutex mutex_;
    std::vector<uint64_t> sentUs_;
};

}  // namespace bench
