#include "bench/StampClock.h"

#include <algorithm>
#include <cmath>

#include "bench/Percentile.h"

namespace bench {

StampClock::StampClock(const std::vector<Arrival>& messages) {
    FindBases(messages);
    FindOrigin(messages);
    for (const double stampMs : FrameStamps(messages)) {
        frameMaking.push_back(stampMs - Due(stampMs));
    }
}

double StampClock::Due(double monoMs) const {
    return origin + std::floor((monoMs - origin) / kFrameMs) * kFrameMs;
}

void StampClock::FindBases(const std::vector<Arrival>& messages) {
    for (const Arrival& message : messages) {
        const double lead = static_cast<double>(message.arrivedUs) / 1000.0 - message.stamp;
        double& kind = message.type == 9 ? baseVideo : baseAudio;
        kind = std::min(kind, lead);
    }
    base = std::min(baseVideo, baseAudio);
}

void StampClock::FindOrigin(const std::vector<Arrival>& messages) {
    const std::vector<double> stamps = FrameStamps(messages);
    const double first = stamps.empty() ? -1 : stamps.front();
    std::vector<double> phases;
    for (const double stampMs : stamps) {
        phases.push_back(std::fmod(stampMs - first, kFrameMs));
    }
    const double median = Percentile(phases, 0.5);
    for (double& phase : phases) {
        phase = std::fmod(phase - median + 1.5 * kFrameMs, kFrameMs);  // the median at T/2
    }
    origin = first + median - kFrameMs / 2 + Percentile(phases, 0.01);
}

std::vector<double> StampClock::FrameStamps(const std::vector<Arrival>& messages) const {
    std::vector<double> stamps;
    for (const Arrival& message : messages) {
        if (message.type == 9 && !message.header) {
            stamps.push_back(message.stamp + base);
        }
    }
    return stamps;
}

}  // namespace bench
