// The numbers of the host's control protocol: commands, responses and Result codes.
#pragma once

#include <cstdint>

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

// Result values of the responses that carry `Result`.
enum ResultCode : int32_t {
    kResultOk = 0,
    kResultRecordNotStarted = -1,
    kResultContextInitFailed = 30000,  // also: a context refused to create an input
    kResultNoSuchContext = 30001,      // input commands
    kResultStreamBooked = 30012,
    kResultOutputRefused = 30014,  // no CDN URL list, or the context refused the output
    kResultNoSuchOutputContext = 30015,
    kResultLayoutMissing = 30017,
    kResultTooManyVideoInputs = 30018,
};

// The notification id that the session manager is given for the host session.
constexpr uint32_t kSessionNotifyId = 2025;

}  // namespace streammanager
