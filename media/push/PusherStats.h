// What a pusher reports about itself: its state and what it sent, the media time waiting for
// its link, the pictures it dropped to keep up, and the encoder bitrate its output runs at.
// A snapshot, copied freely.
#pragma once

#include <cstdint>
#include <string>

#include "media/push/PushState.h"

namespace streammanager {

struct PusherStats {
    int32_t contextId = 0;
    std::string url;
    PushState state = PushState::kCreated;
    uint64_t bytesSent = 0;     // acknowledged by the server
    int32_t sendKbps = 0;       // media delivered over the last two seconds
    int32_t backlogMs = 0;      // media time queued: in the cache and unacknowledged in the socket
    int32_t deadlineMs = 0;     // how long the link may hold a unit (SRT's latency); 0: no limit
    uint64_t videoDropped = 0;  // video units dropped to catch up
    uint32_t reconnects = 0;    // connections lost while streaming
    uint32_t connectFailures = 0;  // connects that failed
    int32_t lastError = 0;         // the errno-style cause of the last failure of either
    int32_t encoderKbps = 0;       // the output's current video bitrate
    int32_t encoderLevel = 0;      // how hard its encoder works (0: as configured)
};

}  // namespace streammanager
