#include "media/output/PusherList.h"

#include <algorithm>
#include <new>

#include "base/Log.h"

namespace streammanager {

int32_t PusherList::Update(const std::vector<std::string>& urls, int32_t contextId) {
    std::vector<std::string> fresh = urls;
    std::vector<std::shared_ptr<RtmpPusher>> stopping;
    {
        KESTREL::WAutoLock lock(&lock_);
        std::vector<std::shared_ptr<RtmpPusher>> kept;
        for (auto& pusher : pushers_) {
            const auto listed = std::find(fresh.begin(), fresh.end(), pusher->GetCdnUrl());
            if (listed != fresh.end()) {
                fresh.erase(listed);
                kept.push_back(std::move(pusher));
            } else {
                stopping.push_back(std::move(pusher));
            }
        }
        pushers_.swap(kept);
    }
    for (const auto& pusher : stopping) {
        pusher->StopRtmpThread();
    }
    for (const std::string& url : fresh) {
        if (url.empty()) {
            continue;
        }
        std::shared_ptr<RtmpPusher> pusher(new (std::nothrow) RtmpPusher(allocator_));
        if (pusher == nullptr) {
            SC_LOG("Output::InitRtmpPusher Create rtmp pusher failed.\n");
            return E_FAIL;
        }
        pusher->InitRtmpPusher(url.c_str(), contextId);
        pusher->StartThread(true, nullptr);
        KESTREL::WAutoLock lock(&lock_);
        pushers_.push_back(std::move(pusher));
    }
    return 0;
}

void PusherList::StopAll() {
    for (const auto& pusher : Pushers()) {
        pusher->StopRtmpThread();
    }
}

std::vector<std::shared_ptr<RtmpPusher>> PusherList::Pushers() {
    KESTREL::WAutoLock lock(&lock_);
    return pushers_;
}

void PusherList::CacheVideo(const uint8_t* data, int32_t length, uint32_t keyFrame) {
    ForEach(
        [&](RtmpPusher& pusher) { pusher.CachePushData(kPushDataVideo, length, data, keyFrame); });
}

void PusherList::CacheAudio(const uint8_t* data, int32_t length) {
    ForEach([&](RtmpPusher& pusher) { pusher.CachePushData(kPushDataAudio, length, data, 0); });
}

void PusherList::SetMetaData(int32_t width, int32_t height, int32_t frameRate) {
    ForEach([&](RtmpPusher& pusher) { pusher.SetMetaData(width, height, frameRate); });
}

void PusherList::SetVideoStatus() {
    ForEach([](RtmpPusher& pusher) { pusher.SetVideoStatus(1); });
}

}  // namespace streammanager
