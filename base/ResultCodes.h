// The Result codes of the host's control protocol, in one table: what the command handlers
// answer, and what the media parts return to them when they create and book an input (those
// codes reach the host unchanged). 32-bit signed, written in decimal in the responses.
#pragma once

#include <cstdint>

namespace streammanager {

enum ResultCode : int32_t {
    kResultOk = 0,
    kResultRecordNotStarted = -1,        // RecordParam without RecordPath: nothing was started
    kResultContextInitFailed = 30000,    // a context failed to initialise, or refused an input
                                         // (no key, or no protocol to book it with)
    kResultNoSuchContext = 30001,        // input commands: no context has the ContextID
    kResultStreamBooked = 30012,         // the input's stream is booked already
    kResultNoSuchInput = 30013,          // no input of the context has the handle
    kResultOutputRefused = 30014,        // SetOutParam: no CDN URL list, or the output refused
    kResultNoSuchOutputContext = 30015,  // SetOutParam: no context has the ContextID
    kResultLayoutMissing = 30017,        // SetOutParam: a canvas, but a video input without layout
    kResultTooManyVideoInputs = 30018,   // SetOutParam: no canvas and more than one video input
    kResultClockFailed = 16389,          // booking: the user's playback clock could not be made
};

}  // namespace streammanager
