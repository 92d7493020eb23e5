#include "media/input/Input.h"

#include <algorithm>

#include "base/Log.h"

namespace streammanager {

namespace {
// One log line for the first drop of the kept video and then for every this many.
constexpr uint64_t kCacheDropLogInterval = 100;
}  // namespace

Input::~Input() = default;

int32_t Input::SetSink(IInputMediaSink* sink) {
    SC_LOG("SetSink-->input_handle=%d. %s \n", inputHandle_,
           sink != nullptr ? "not null" : "is null");
    KESTREL::WAutoLock lock(&lock_);
    sink_ = sink;
    if (sink != nullptr) {
        sink->SetSyncTimer(inputHandle_, GetSyncTimer());
    }
    return 0;
}

size_t Input::CachedFrameCount() {
    KESTREL::WAutoLock lock(&lock_);
    return cache_.size();
}

size_t Input::CachedBytes() {
    KESTREL::WAutoLock lock(&lock_);
    return cacheBytes_.size();
}

void Input::DeliverMediaData(const MediaDataDesc& desc, const uint8_t* data, uint32_t length) {
    KESTREL::WAutoLock lock(&lock_);
    if (sink_ != nullptr) {
        FlushCacheTo(sink_);
        sink_->OnMediaData(inputHandle_, &desc, data, length);
        return;
    }
    if (!IsEncodedVideo(desc.mediaType)) {
        return;
    }
    if (desc.keyFrame) {
        ClearCache();
    } else if (cache_.empty() || DropCacheOverBound(length)) {
        return;  // nothing decodable to append to
    }
    CacheVideo(desc, data, length);
}

void Input::FlushCacheTo(IInputMediaSink* sink) {
    for (const CachedUnit& unit : cache_) {
        sink->OnMediaData(inputHandle_, &unit.desc, cacheBytes_.data() + unit.offset, unit.length);
    }
    ClearCache();
}

bool Input::DropCacheOverBound(uint32_t length) {
    if (cache_.size() < kMaxCachedUnits && cacheBytes_.size() + length <= kMaxCachedBytes) {
        return false;
    }
    if (cacheDrops_++ % kCacheDropLogInterval == 0) {
        SC_LOG(
            "Input::CacheVideo, input %d keeps %zu units (%zu bytes) without a sink: dropped, "
            "waiting for the next key frame (%llu drops).\n",
            inputHandle_, cache_.size(), cacheBytes_.size(),
            static_cast<unsigned long long>(cacheDrops_));
    }
    ClearCache();
    return true;
}

void Input::CacheVideo(const MediaDataDesc& desc, const uint8_t* data, uint32_t length) {
    const size_t offset = cacheBytes_.size();
    if (offset + length > kMaxCachedBytes) {
        return;  // a single unit over the bound (only a key frame gets here)
    }
    if (offset + length > cacheBytes_.capacity()) {
        cacheBytes_.reserve(
            std::min(kMaxCachedBytes, std::max(2 * cacheBytes_.capacity(), offset + length)));
    }
    cacheBytes_.insert(cacheBytes_.end(), data, data + length);
    MediaDataDesc copy;
    copy.mediaType = desc.mediaType;
    copy.codecId = desc.codecId;
    copy.timestamp = desc.timestamp;
    copy.width = desc.width;
    copy.height = desc.height;
    copy.keyFrame = desc.keyFrame;
    copy.arrivalUs = desc.arrivalUs;
    cache_.push_back(CachedUnit{offset, length, copy});
}

void Input::ClearCache() {
    cache_.clear();
    cacheBytes_.clear();  // the block stays for the next units
}

}  // namespace streammanager
