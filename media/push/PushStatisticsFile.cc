#include "media/push/PushStatisticsFile.h"

#include <algorithm>
#include <cstdlib>

#include "media/push/RtmpPusher.h"
#include "platform/FileSystem.h"

namespace streammanager {

namespace {

std::string PathFromEnvironment() {
    const char* path = std::getenv("STREAMCOURIER_STATS_FILE");
    return path != nullptr ? path : "";
}

}  // namespace

PushStatisticsFile::PushStatisticsFile() : path_(PathFromEnvironment()) {}

PushStatisticsFile& PushStatisticsFile::Instance() {
    static PushStatisticsFile instance;
    return instance;
}

void PushStatisticsFile::Add(const RtmpPusher* pusher) {
    platform::MutexLock lock(mutex_);
    pushers_.push_back(pusher);
}

void PushStatisticsFile::Remove(const RtmpPusher* pusher) {
    platform::MutexLock lock(mutex_);
    pushers_.erase(std::remove(pushers_.begin(), pushers_.end(), pusher), pushers_.end());
}

std::string PushStatisticsFile::Line(const PusherStats& stats) {
    return "context=" + std::to_string(stats.contextId) + " url=" + stats.url +
           " state=" + PushStateName(stats.state) + " bytes=" + std::to_string(stats.bytesSent) +
           " kbps=" + std::to_string(stats.sendKbps) +
           " backlog_ms=" + std::to_string(stats.backlogMs) +
           " dropped=" + std::to_string(stats.videoDropped) +
           " reconnects=" + std::to_string(stats.reconnects) +
           " encoder_kbps=" + std::to_string(stats.encoderKbps) +
           " encoder_level=" + std::to_string(stats.encoderLevel);
}

void PushStatisticsFile::WriteIfDue(uint64_t nowUs) {
    if (path_.empty()) {
        return;
    }
    platform::MutexLock lock(mutex_);
    if (nowUs < nextUs_) {
        return;
    }
    nextUs_ = nowUs + kIntervalUs;
    std::string text;
    for (const RtmpPusher* pusher : pushers_) {
        text += Line(pusher->Statistics()) + "\n";
    }
    platform::ReplaceFile(path_, text);
}

}  // namespace streammanager
