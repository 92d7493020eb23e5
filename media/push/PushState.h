// The life of a pusher, as its push thread walks it. Plain values.
//
//   state              event                                   next                action
//   kCreated           Init                                    kConnecting         keep URL, wake
//   kConnecting        connected and publishing                kSendingHeaders     fresh stream
//   kConnecting        refused, failed, timed out              kWaitingToReconnect close
//   kWaitingToReconnect  the pause (2 s) is over               kConnecting
//   kSendingHeaders    the first key frame with its sets (or,  kStreaming          metadata and
//                      without video, the first sound) is sent                     headers first
//   kStreaming         new metadata                            kSendingHeaders     audio waits
//   kSendingHeaders,   a send fails                            kWaitingToReconnect close, drop the
//   kStreaming                                                                     cache
//   any                Stop                                    kStopped            abort, join
#pragma once

#include <cstdint>

namespace streammanager {

enum class PushState : int32_t {
    kCreated,
    kConnecting,
    kSendingHeaders,
    kStreaming,
    kWaitingToReconnect,
    kStopped,
};

inline const char* PushStateName(PushState state) {
    switch (state) {
        case PushState::kCreated:
            return "created";
        case PushState::kConnecting:
            return "connecting";
        case PushState::kSendingHeaders:
            return "sending-headers";
        case PushState::kStreaming:
            return "streaming";
        case PushState::kWaitingToReconnect:
            return "waiting-to-reconnect";
        case PushState::kStopped:
            return "stopped";
    }
    return "?";
}

}  // namespace streammanager
