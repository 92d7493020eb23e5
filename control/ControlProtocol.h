// The numbers of the host's control protocol: commands and responses (the Result codes are
// in base/ResultCodes.h, shared with the media parts).
#pragma once

#include <cstdint>

#include "base/ResultCodes.h"

namespace streammanager {

enum Command : uint16_t {
    kCmdRecordParam = 4096,
    kCmdUnhandled = 4097,
    kCmdRecordOperation = 4098,
    kCmdRecordTime = 4099,
    kCmdCreateContext = 4100,
    kCmdCreateInput = 4101,
    kCmdRemoveInput = 4102,
    kCmdSetOutParam = 4103,
    kCmdDestoryContext = 4104,
    kCmdKeepAlive = 4105,
};

// Every response number is its command number plus this.
constexpr uint16_t kResponseOffset = 256;

// The notification id that the session manager is given for the host session.
constexpr uint32_t kSessionNotifyId = 2025;

}  // namespace streammanager
