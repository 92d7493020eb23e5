#include "framework/mixer/CanvasClock.h"

#include <algorithm>

namespace framework {

uint64_t CanvasClock::Next(uint64_t newestUs, uint64_t dueUs) {
    uint64_t media = newestUs > newestShownUs_ ? newestUs : dueUs;
    newestShownUs_ = std::max(newestShownUs_, newestUs);
    if (started_) {
        media = std::max(media, lastUs_ + kStepUs);
    }
    started_ = true;
    lastUs_ = media;
    return media;
}

}  // namespace framework
