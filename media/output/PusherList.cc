#include "media/output/PusherList.h"

#include <algorithm>
#include <cctype>
#include <new>

#include "base/Log.h"
#include "media/push/SrtSender.h"
#include "media/push/SrtUrl.h"

namespace streammanager {

namespace {

// librtmp's schemes: plain, TLS, tunnelled over HTTP, encrypted, and their combinations.
bool IsRtmpUrl(const std::string& url) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return false;
    }
    std::string scheme = url.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known : {"rtmp", "rtmps", "rtmpt", "rtmpe", "rtmpte", "rtmpts"}) {
        if (scheme == known) {
            return true;
        }
    }
    return false;
}

// Why a pusher cannot take `url`, or null when it can.
const char* Refusal(const std::string& url, size_t pushers) {
    if (url.size() > RtmpPusher::kMaxUrlLength) {
        return "longer than 2047 characters";
    }
    if (SrtUrl::IsSrt(url)) {
        SrtUrl srt;
        if (const char* refusal = SrtUrl::Parse(url, &srt)) {
            return refusal;
        }
    } else if (!IsRtmpUrl(url)) {
        return "not an RTMP or SRT URL";
    }
    return pushers >= PusherList::kMaxPushers ? "one CDN too many" : nullptr;
}

// True for a URL a pusher can take; an empty one is skipped without a word.
bool Acceptable(const std::string& url, int32_t contextId, size_t pushers) {
    if (url.empty()) {
        return false;
    }
    const char* refusal = Refusal(url, pushers);
    if (refusal != nullptr) {
        SC_LOG("Output::InitRtmpPusher, URL refused (%s): %.256s, context: %d.\n", refusal,
               SrtUrl::WithoutSecret(url).c_str(), contextId);
    }
    return refusal == nullptr;
}

}  // namespace

int32_t PusherList::Update(const std::vector<std::string>& urls, int32_t contextId) {
    SC_DCHECK_RUN_ON(&control_);
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
        if (!Acceptable(url, contextId, Pushers().size())) {
            continue;
        }
        RtmpPusher::Options options;
        options.dropThresholdMs = dropThresholdMs_;
        options.requestKeyFrame = requestKeyFrame_;
        if (SrtUrl::IsSrt(url)) {
            options.sender = std::make_unique<SrtSender>();
        }
        std::shared_ptr<RtmpPusher> pusher(new (std::nothrow)
                                               RtmpPusher(allocator_, std::move(options)));
        if (pusher == nullptr) {
            SC_LOG("Output::InitRtmpPusher Create rtmp pusher failed.\n");
            return E_FAIL;
        }
        pusher->InitRtmpPusher(url.c_str(), contextId);
        pusher->SetMetaData(MetaData());
        {
            KESTREL::WAutoLock lock(&lock_);
            pusher->SetEncoderState(encoderKbps_, encoderLevel_);
        }
        pusher->StartThread(true, nullptr);
        KESTREL::WAutoLock lock(&lock_);
        pushers_.push_back(std::move(pusher));
    }
    return 0;
}

void PusherList::StopAll() {
    SC_DCHECK_RUN_ON(&control_);
    for (const auto& pusher : Pushers()) {
        pusher->StopRtmpThread();
    }
}

void PusherList::SetPushOptions(int32_t dropThresholdMs, std::function<void()> requestKeyFrame) {
    SC_DCHECK_RUN_ON(&control_);
    dropThresholdMs_ = dropThresholdMs;
    requestKeyFrame_ = std::move(requestKeyFrame);
}

void PusherList::SetEncoderState(int32_t kbps, int32_t level) {
    KESTREL::WAutoLock lock(&lock_);
    encoderKbps_ = kbps;
    encoderLevel_ = level;
    for (const auto& pusher : pushers_) {
        pusher->SetEncoderState(kbps, level);
    }
}

std::vector<PusherStats> PusherList::Statistics() {
    std::vector<PusherStats> stats;
    for (const auto& pusher : Pushers()) {
        stats.push_back(pusher->Statistics());
    }
    return stats;
}

StreamMetaData PusherList::MetaData() {
    KESTREL::WAutoLock lock(&lock_);
    return meta_;
}

std::vector<std::shared_ptr<RtmpPusher>> PusherList::Pushers() {
    KESTREL::WAutoLock lock(&lock_);
    return pushers_;
}

void PusherList::CacheVideo(const uint8_t* data, int32_t length, uint32_t keyFrame,
                            uint64_t mediaMs) {
    ForEach([&](RtmpPusher& pusher) {
        pusher.CachePushData(kPushDataVideo, length, data, keyFrame, mediaMs);
    });
}

void PusherList::CacheAudio(const uint8_t* data, int32_t length, uint64_t mediaMs) {
    ForEach([&](RtmpPusher& pusher) {
        pusher.CachePushData(kPushDataAudio, length, data, 0, mediaMs);
    });
}

void PusherList::SetMetaData(const StreamMetaData& meta) {
    SC_DCHECK_RUN_ON(&control_);
    KESTREL::WAutoLock lock(&lock_);
    meta_ = meta;
    for (const auto& pusher : pushers_) {
        pusher->SetMetaData(meta);
    }
}

void PusherList::SetVideoStatus() {
    ForEach([](RtmpPusher& pusher) { pusher.SetVideoStatus(1); });
}

}  // namespace streammanager
