// The pusher's stamps on the monotonic clock, from what an RtmpReader noted. The pusher stamps
// a unit with its monotonic milliseconds when cached, less a base; the smallest (arrival -
// stamp) over the messages is that base plus the shortest way to the reader (about 1 ms on
// loopback). The mixer's frame k is due at origin + k / 30 s and stamped once made: the
// stamps' phases against a 30 fps grid gather around one value (the making time varies by a
// few ms, now and then by more); unwrapped around their median, their 1st percentile is the
// origin plus the quickest frames' making.
#pragma once

#include <vector>

#include "bench/LiveMedia.h"
#include "bench/RtmpReader.h"

namespace bench {

struct StampClock {
    static constexpr double kFrameMs = 1000.0 / kRate;

    explicit StampClock(const std::vector<Arrival>& messages);
    // The due time of the frame stamped at `monoMs` (its making taken as under one frame).
    double Due(double monoMs) const;

    double base = 0;  // a stamp + base is monotonic milliseconds
    double baseVideo = 1e18;
    double baseAudio = 1e18;
    double origin = 0;
    std::vector<double> frameMaking;  // every frame's, above the quickest frames'

  private:
    void FindBases(const std::vector<Arrival>& messages);
    void FindOrigin(const std::vector<Arrival>& messages);
    // The monotonic stamps of the video frames (not sequence headers).
    std::vector<double> FrameStamps(const std::vector<Arrival>& messages) const;
};

}  // namespace bench
