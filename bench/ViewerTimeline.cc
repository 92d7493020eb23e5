#include "bench/ViewerTimeline.h"

#include <algorithm>
#include <cmath>

#include "bench/StampClock.h"
#include "tests/media/push/FlashEdge.h"

namespace bench {

namespace {

// How far a flash's stamp may lie from its white picture's write.
constexpr double kPairingMs = 300;

}  // namespace

ViewerTimeline::ViewerTimeline(const RtmpReader& reader, const std::vector<uint64_t>& flashUs)
    : reader_(reader) {
    const StampClock clock(reader.Messages());
    rtmptest::FlashEdge edge;
    bool anyFrame = false;
    uint32_t newestStamp = 0;
    for (const Sighting& picture : reader.Pictures()) {
        if (!anyFrame || picture.stamp > newestStamp) {
            newFrameUs_.push_back(picture.seenUs);
            newestStamp = picture.stamp;
            anyFrame = true;
        }
        if (!edge.IsFlash(picture.luma)) {
            continue;
        }
        const double stampMs = picture.stamp + clock.base;
        double nearestMs = kPairingMs;
        uint64_t writtenUs = 0;
        for (const uint64_t us : flashUs) {
            const double apart = std::abs(static_cast<double>(us) / 1000.0 - stampMs);
            if (us != 0 && apart < nearestMs) {
                nearestMs = apart;
                writtenUs = us;
            }
        }
        if (writtenUs == 0 || writtenUs > picture.seenUs) {
            ++unpaired_;
            continue;
        }
        flashes_.push_back(
            {picture.seenUs, static_cast<double>(picture.seenUs - writtenUs) / 1000.0});
    }
}

double ViewerTimeline::DelayAt(uint64_t atUs) const {
    double delay = -1;
    for (const ViewerFlash& flash : flashes_) {
        if (flash.seenUs <= atUs) {
            delay = flash.delayMs;
        }
    }
    return delay;
}

std::vector<double> ViewerTimeline::Delays(uint64_t fromUs, uint64_t toUs) const {
    std::vector<double> delays;
    for (const ViewerFlash& flash : flashes_) {
        if (flash.seenUs >= fromUs && flash.seenUs < toUs) {
            delays.push_back(flash.delayMs);
        }
    }
    return delays;
}

double ViewerTimeline::SecondsUntilWithin(uint64_t fromUs, uint64_t toUs, double limitMs) const {
    double seconds = -1;
    for (const ViewerFlash& flash : flashes_) {
        if (flash.seenUs < fromUs || flash.seenUs >= toUs) {
            continue;
        }
        if (flash.delayMs > limitMs) {
            seconds = -1;
        } else if (seconds < 0) {
            seconds = static_cast<double>(flash.seenUs - fromUs) / 1e6;
        }
    }
    return seconds;
}

double ViewerTimeline::PicturesPerSecond(uint64_t fromUs, uint64_t toUs) const {
    const auto count = std::count_if(newFrameUs_.begin(), newFrameUs_.end(),
                                     [&](uint64_t us) { return us >= fromUs && us < toUs; });
    return toUs > fromUs ? static_cast<double>(count) * 1e6 / static_cast<double>(toUs - fromUs)
                         : 0;
}

double ViewerTimeline::Kbps(uint64_t fromUs, uint64_t toUs) const {
    uint64_t bytes = 0;
    for (const Arrival& message : reader_.Messages()) {
        if (message.arrivedUs >= fromUs && message.arrivedUs < toUs) {
            bytes += message.bytes;
        }
    }
    return toUs > fromUs ? static_cast<double>(bytes) * 8e3 / static_cast<double>(toUs - fromUs)
                         : 0;
}

double ViewerTimeline::LongestAudioGapMs(uint64_t toUs) const {
    uint64_t previousUs = 0;
    uint64_t longestUs = 0;
    for (const Arrival& message : reader_.Messages()) {
        if (message.type != 8 || message.arrivedUs > toUs) {
            continue;
        }
        if (previousUs != 0) {
            longestUs = std::max(longestUs, message.arrivedUs - previousUs);
        }
        previousUs = message.arrivedUs;
    }
    if (previousUs != 0) {
        longestUs = std::max(longestUs, toUs - previousUs);
    }
    return static_cast<double>(longestUs) / 1000.0;
}

}  // namespace bench
