#include "media/output/BitrateController.h"

#include <algorithm>

namespace streammanager {

namespace {

bool Connected(const PusherStats& pusher) {
    return pusher.state == PushState::kSendingHeaders || pusher.state == PushState::kStreaming;
}

}  // namespace

int32_t BitrateController::CongestedAtMs(const PusherStats& pusher) {
    return pusher.deadlineMs > 0 ? std::min(kCongestedMs, pusher.deadlineMs / 2) : kCongestedMs;
}

void BitrateController::Reset(int32_t originalBps, int32_t audioBps) {
    original_ = originalBps;
    audio_ = audioBps;
    current_ = originalBps;
    changed_ = false;
    clear_ = false;
}

int32_t BitrateController::Update(uint64_t nowMs, const std::vector<PusherStats>& pushers) {
    int connected = 0;
    int congested = 0;
    int32_t slowestKbps = 0;
    for (const PusherStats& pusher : pushers) {
        if (!Connected(pusher)) {
            continue;
        }
        ++connected;
        if (pusher.backlogMs >= CongestedAtMs(pusher)) {
            slowestKbps = congested == 0 ? pusher.sendKbps : std::min(slowestKbps, pusher.sendKbps);
            ++congested;
        }
    }
    if (original_ <= 0 || connected == 0) {
        return 0;
    }
    if (congested > 0) {
        clear_ = false;
        if (congested < connected || (changed_ && nowMs < changedMs_ + kSettleMs)) {
            return 0;
        }
        const int32_t carried = slowestKbps * 1000 - audio_;
        const int32_t target = std::max(original_ / 4, std::max(carried, 0) / kStepBps * kStepBps);
        if (target >= current_) {
            return 0;
        }
        current_ = target;
        changedMs_ = nowMs;
        changed_ = true;
        return current_;
    }
    if (!clear_) {
        clear_ = true;
        clearSinceMs_ = nowMs;
    }
    const uint64_t sinceMs = changed_ ? std::max(clearSinceMs_, changedMs_) : clearSinceMs_;
    if (current_ >= original_ || nowMs < sinceMs + kRaiseEveryMs) {
        return 0;
    }
    current_ = std::min(original_, current_ + original_ / 10);
    changedMs_ = nowMs;
    changed_ = true;
    return current_;
}

}  // namespace streammanager
