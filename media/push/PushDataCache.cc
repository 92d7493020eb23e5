#include "media/push/PushDataCache.h"

#include <algorithm>
#include <utility>

namespace streammanager {

std::atomic<uint32_t> PushDataCache::refusals_{0};

PushDataCache::AppendResult PushDataCache::Append(PushDataInfo&& unit) {
    AppendResult result;
    {
        KESTREL::WAutoLock lock(&lock_);
        if (unit.type == kPushDataVideo && skipVideoToKey_) {
            if (unit.keyFrame == 0) {
                ++skippedVideo_;
                return result;  // dropped on purpose: not a refusal
            }
            skipVideoToKey_ = false;
        }
        result.count = audio_.size() + video_.size();
        if (result.count < kMaxUnits && bytes_ + static_cast<size_t>(unit.length) <= kMaxBytes) {
            if (result.count >= kBacklogUnits && ++backlogCounter_ >= kBacklogLogInterval) {
                backlogCounter_ = 0;
                result.logBacklog = true;
            }
            if (unit.type == kPushDataAudio) {
                lastAudioUs_ = unit.cachedUs;
                audioSeen_ = true;
            } else {
                lastVideoUs_ = unit.cachedUs;
                videoSeen_ = true;
            }
            bytes_ += static_cast<size_t>(unit.length);
            newestMs_ = std::max(newestMs_, unit.mediaMs);
            ListOf(unit.type).push_back(std::move(unit));
            result.appended = true;
            return result;
        }
    }
    result.logFull = CountRefusal();
    return result;  // `unit` is left to its owner, who drops it
}

bool PushDataCache::CountRefusal() {
    uint32_t count = refusals_.load();
    for (;;) {
        const bool due = count > kRefusalLogThreshold;
        if (refusals_.compare_exchange_weak(count, due ? 0 : count + 1)) {
            return due;
        }
    }
}

bool PushDataCache::TakeNext(uint64_t nowUs, PushDataInfo* unit, uint64_t* waitUs) {
    KESTREL::WAutoLock lock(&lock_);
    *waitUs = 0;
    std::deque<PushDataInfo>* from = nullptr;
    if (!audio_.empty() && !video_.empty()) {
        // At the same instant the picture goes first: a key frame starts the stream.
        from = audio_.front().mediaMs < video_.front().mediaMs ? &audio_ : &video_;
    } else if (!audio_.empty() || !video_.empty()) {
        from = audio_.empty() ? &video_ : &audio_;
        const bool otherSeen = from == &audio_ ? videoSeen_ : audioSeen_;
        const uint64_t otherLastUs = from == &audio_ ? lastVideoUs_ : lastAudioUs_;
        const bool otherFlowing = otherSeen && nowUs < otherLastUs + kFlowingUs;
        const uint64_t heldUntil = from->front().cachedUs + holdUs_;
        if (otherFlowing && nowUs < heldUntil) {
            *waitUs = heldUntil - nowUs;
            return false;
        }
    }
    if (from == nullptr) {
        return false;
    }
    *unit = std::move(from->front());
    from->pop_front();
    bytes_ -= static_cast<size_t>(unit->length);
    return true;
}

size_t PushDataCache::DropVideoToNextKey() {
    std::deque<PushDataInfo> dropped;
    {
        KESTREL::WAutoLock lock(&lock_);
        // Up to the newest key frame queued after the oldest unit (it stays and starts the
        // picture again); without one, all of it, and what comes until the next key frame.
        size_t newestKey = 0;
        for (size_t i = video_.size(); i-- > 1;) {
            if (video_[i].keyFrame != 0) {
                newestKey = i;
                break;
            }
        }
        skipVideoToKey_ = newestKey == 0;
        const size_t count = skipVideoToKey_ ? video_.size() : newestKey;
        for (size_t i = 0; i < count; ++i) {
            bytes_ -= static_cast<size_t>(video_.front().length);
            dropped.push_back(std::move(video_.front()));
            video_.pop_front();
        }
    }
    return dropped.size();  // the buffers go back here, outside the lock
}

uint64_t PushDataCache::TakeSkippedVideo() {
    KESTREL::WAutoLock lock(&lock_);
    const uint64_t skipped = skippedVideo_;
    skippedVideo_ = 0;
    return skipped;
}

bool PushDataCache::MediaSpan(uint64_t* oldestMs, uint64_t* newestMs) {
    KESTREL::WAutoLock lock(&lock_);
    if (audio_.empty() && video_.empty()) {
        return false;
    }
    *oldestMs = audio_.empty()   ? video_.front().mediaMs
                : video_.empty() ? audio_.front().mediaMs
                                 : std::min(audio_.front().mediaMs, video_.front().mediaMs);
    *newestMs = newestMs_;
    return true;
}

size_t PushDataCache::Clear() {
    std::deque<PushDataInfo> droppedAudio;
    std::deque<PushDataInfo> droppedVideo;
    {
        KESTREL::WAutoLock lock(&lock_);
        droppedAudio.swap(audio_);
        droppedVideo.swap(video_);
        bytes_ = 0;
        newestMs_ = 0;
        skipVideoToKey_ = false;
    }
    return droppedAudio.size() + droppedVideo.size();  // the buffers go back here
}

size_t PushDataCache::Size() {
    KESTREL::WAutoLock lock(&lock_);
    return audio_.size() + video_.size();
}

void PushDataCache::ResetBacklogCounter() {
    KESTREL::WAutoLock lock(&lock_);
    backlogCounter_ = 0;
}

}  // namespace streammanager
