#include "media/Input.h"

#include "base/Log.h"

namespace streammanager {

Input::~Input() {
    KESTREL::WAutoLock lock(&lock_);
    ClearCache();
}

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

void Input::DeliverMediaData(const MediaDataDesc& desc, const uint8_t* data, uint32_t length) {
    KESTREL::WAutoLock lock(&lock_);
    if (sink_ != nullptr) {
        FlushCacheTo(sink_);
        sink_->OnMediaData(inputHandle_, &desc, data, length);
        return;
    }
    if (!IsEncodedVideo(desc.mediaType) || (cache_.empty() && !desc.keyFrame)) {
        return;
    }
    CacheVideo(desc, data, length);
}

void Input::FlushCacheTo(IInputMediaSink* sink) {
    for (const CachedVideoData& frame : cache_) {
        sink->OnMediaData(inputHandle_, &frame.desc, frame.buffer->GetData(),
                          frame.buffer->GetSize());
    }
    ClearCache();
}

void Input::CacheVideo(const MediaDataDesc& desc, const uint8_t* data, uint32_t length) {
    KESTREL::WFlexBuffer* buffer = bufferPool_.Alloc();
    if (buffer == nullptr) {
        return;
    }
    if (!buffer->SetData(data, length)) {
        bufferPool_.Free(buffer);
        return;
    }
    MediaDataDesc copy;
    copy.mediaType = desc.mediaType;
    copy.codecId = desc.codecId;
    copy.timestamp = desc.timestamp;
    copy.width = desc.width;
    copy.height = desc.height;
    copy.keyFrame = desc.keyFrame;
    if (desc.keyFrame) {
        ClearCache();
    }
    cache_.push_back(CachedVideoData{buffer, copy});
}

void Input::ClearCache() {
    for (const CachedVideoData& frame : cache_) {
        bufferPool_.Free(frame.buffer);
    }
    cache_.clear();
}

}  // namespace streammanager
