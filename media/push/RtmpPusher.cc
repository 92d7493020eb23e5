#include "media/push/RtmpPusher.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/Log.h"
#include "interfaces/QXTypes.h"
#include "media/audio/AdtsHeader.h"
#include "media/push/PushStatisticsFile.h"
#include "media/push/RtmpConnection.h"
#include "media/push/RtmpSender.h"
#include "media/push/SrtUrl.h"
#include "platform/BrokenPipeGuard.h"
#include "platform/Clock.h"

namespace streammanager {

namespace {

// Host-name fragments of the two providers' ingest hosts; they only choose the label that log
// lines carry.
constexpr const char* kAliCdnMarker = "alivecdn";
constexpr const char* kPellamCdnMarker = "pellamcdn";

// The idle wait's bound. Every change that gives the push thread work releases its wake-up,
// so the bound only keeps the wait finite (and the statistics ticking).
constexpr uint32_t kIdleWaitMs = 1000;
// How long StopRtmpThread lets the push thread end by itself before cutting its connection.
constexpr uint32_t kStopGraceMs = 150;
constexpr uint64_t kSampleIntervalUs = 1000000;
constexpr uint64_t kLogIntervalUs = 10000000;

const char* CdnNameFor(const char* url) {
    if (strstr(url, kAliCdnMarker) != nullptr) {
        return "Ali CDN";
    }
    if (strstr(url, "pushonly") != nullptr || strstr(url, kPellamCdnMarker) != nullptr) {
        return "Pellam CDN";
    }
    return "Other CDN";
}

}  // namespace

RtmpPusher::RtmpPusher(IMemoryAllocator* allocator) : RtmpPusher(allocator, Options{}) {}

RtmpPusher::RtmpPusher(IMemoryAllocator* allocator, Options options)
    : allocator_(allocator),
      sender_(options.sender != nullptr
                  ? std::move(options.sender)
                  : std::make_unique<RtmpSender>(options.connection != nullptr
                                                     ? std::move(options.connection)
                                                     : std::make_unique<RtmpConnection>())),
      clockUs_(options.clockUs != nullptr ? std::move(options.clockUs) : platform::MonotonicMicros),
      firstTimestampMs_(options.firstTimestampMs),
      retryDelayMs_(options.retryDelayMs),
      dropThresholdMs_(options.dropThresholdMs),
      requestKeyFrame_(std::move(options.requestKeyFrame)) {}

RtmpPusher::~RtmpPusher() {
    SC_LOG("RtmpPusher::~RtmpPusher, Context: %d destroy rtmp pusher: %s.\n", contextId_,
           cdnName_.c_str());
    StopRtmpThread();
}

int32_t RtmpPusher::InitRtmpPusher(const char* url, int32_t contextId) {
    SC_LOG("RtmpPusher::InitRtmpPusher, Init rtmp pusher, context = %d.\n", contextId);
    if (url == nullptr) {
        SC_LOG("RtmpPusher init failed. cdn url is NULL .\n");
        return E_FAIL;
    }
    if (state_.load() != PushState::kCreated) {
        SC_LOG("RtmpPusher inited . cdn url: %s .\n", shownUrl_.c_str());
        return 0;
    }
    const size_t length = strlen(url);
    if (length > kMaxUrlLength) {
        SC_LOG("RtmpPusher::InitRtmpPusher, cdn url too long [%zu], context = %d.\n", length,
               contextId);
        return E_FAIL;
    }
    contextId_ = contextId;
    url_.assign(url, length);
    shownUrl_ = SrtUrl::WithoutSecret(url_);
    cdnName_ = CdnNameFor(url);
    SC_LOG("rtmp pusher InitRtmpPusher cdn url: %s.\n", shownUrl_.c_str());
    To(PushState::kConnecting);
    PushStatisticsFile::Instance().Add(this);
    wakeUp_.Release();
    return 0;
}

int32_t RtmpPusher::GetState() const {
    switch (state_.load()) {
        case PushState::kCreated:
            return kStateCreated;
        case PushState::kConnecting:
        case PushState::kWaitingToReconnect:
            return kStateInitialised;
        case PushState::kSendingHeaders:
        case PushState::kStreaming:
            return kStateConnected;
        case PushState::kStopped:
            return kStateReleased;
    }
    return kStateCreated;
}

void RtmpPusher::To(PushState next) {
    const PushState was = state_.exchange(next);
    if (was != next) {
        SC_LOG("RtmpPusher, %s -> %s, context: %d, cdn: %s.\n", PushStateName(was),
               PushStateName(next), contextId_, cdnName_.c_str());
    }
}

int32_t RtmpPusher::ThreadProcEx() {
    SC_TRACE("streammanager::RtmpPusher::ThreadProcEx");
    // Writes to a CDN that has gone away fail instead of raising SIGPIPE.
    platform::BrokenPipeGuard brokenPipe;
    while (!StopRequested()) {
        Tick(clockUs_());
        switch (state_.load()) {
            case PushState::kConnecting:
                Connect();
                break;
            case PushState::kWaitingToReconnect:
                if (!StopEvent().WaitFor(retryDelayMs_)) {
                    To(PushState::kConnecting);
                }
                break;
            case PushState::kSendingHeaders:
            case PushState::kStreaming:
                SendNext();
                break;
            case PushState::kCreated:
            case PushState::kStopped:
                wakeUp_.WaitFor(kIdleWaitMs);
                break;
        }
    }
    SC_LOG("Context: %d %s rtmp pusher exit.\n", contextId_, cdnName_.c_str());
    threadEnded_.Set();
    return 0;
}

void RtmpPusher::Connect() {
    if (!sender_->Connect(url_, contextId_, cdnName_)) {
        sender_->Close();
        connectFailures_.fetch_add(1);
        lastError_.store(sender_->LastError());
        SC_LOG("Context: %d connected to %s: %s failed.\n", contextId_, cdnName_.c_str(),
               shownUrl_.c_str());
        To(PushState::kWaitingToReconnect);
        return;
    }
    SC_LOG("Context: %d connected to %s: %s success.\n", contextId_, cdnName_.c_str(),
           shownUrl_.c_str());
    parameterSets_.Clear();
    wire_.Clear();
    deadlineMs_.store(sender_->DeadlineMs());
    To(PushState::kSendingHeaders);
    RequestKeyFrame();  // the stream starts at the next one
}

void RtmpPusher::Fail() {
    SC_TRACE("streammanager::RtmpPusher::ReInitRtmpPusher");
    const uint64_t delivered = Delivered(sender_->BytesWritten(), 0, sender_->DroppedBytes());
    ackedBefore_ += delivered;
    mediaBefore_ += MediaShare(delivered);
    mediaBytes_ = 0;
    lastError_.store(sender_->LastError());
    sender_->Close();
    ClearPushDataCache();
    wire_.Clear();
    parameterSets_.Clear();
    reconnects_.fetch_add(1);
    To(PushState::kWaitingToReconnect);
}

void RtmpPusher::StopRtmpThread() {
    SC_TRACE("streammanager::RtmpPusher::StopRtmpThread");
    SignalStop();
    if (IsRunning() && !threadEnded_.WaitFor(kStopGraceMs)) {
        // Blocked in a connect or a send: cut it short.
        sender_->Abort();
    }
    StopThread();
    PushStatisticsFile::Instance().Remove(this);
    SC_LOG("Context: %d %s rtmp pusher ReleaseRtmpSource.\n", contextId_, cdnName_.c_str());
    ClearPushDataCache();
    sender_->Close();
    state_.store(PushState::kStopped);
}

void RtmpPusher::SignalStop() {
    KESTREL::WThread::SignalStop();
    wakeUp_.Release();  // false only when a wake-up is already pending
}

void RtmpPusher::ClearPushDataCache() {
    SC_TRACE("streammanager::RtmpPusher::ClearPushDataCache");
    m_cache_push_data_list.Clear();
}

uint32_t RtmpPusher::TimestampOf(const PushDataInfo& unit) {
    if (!originSet_) {
        originMs_ = unit.mediaMs;
        originSet_ = true;
    }
    uint64_t& last = unit.type == kPushDataAudio ? lastAudioStamp_ : lastVideoStamp_;
    const uint64_t stamp = unit.mediaMs > originMs_ ? unit.mediaMs - originMs_ : 0;
    last = std::max(last, stamp);
    // A 64-bit clock never wraps; the stamp does, after 2^32 ms, as RTMP's 32 bits do.
    return static_cast<uint32_t>(last + firstTimestampMs_);
}

int32_t RtmpPusher::CachePushData(int32_t type, int32_t length, const uint8_t* data,
                                  uint32_t keyFrame, uint64_t mediaMs) {
    const int32_t shortest = type == kPushDataAudio ? AdtsHeader::kSize + 1 : 1;
    if (data == nullptr || length < shortest ||
        (type != kPushDataAudio && type != kPushDataVideo)) {
        SC_LOG(
            "RtmpPusher::CachePushData, Bad unit [type: %d, length: %d], context: %d, cdn: %s.\n",
            type, length, contextId_, cdnName_.c_str());
        return E_FAIL;
    }
    MemoryBufferRef buffer(
        allocator_ != nullptr ? allocator_->Allocate(static_cast<uint32_t>(length)) : nullptr);
    if (buffer == nullptr || !QXSucceeded(buffer->Write(data, static_cast<uint32_t>(length)))) {
        SC_LOG("HandleAudioMixData alloc memory failed, context: %d, cdn: %s.\n", contextId_,
               cdnName_.c_str());
        return E_FAIL;
    }
    PushDataInfo unit;
    unit.type = type;
    unit.length = length;
    unit.keyFrame = keyFrame;
    unit.buffer = std::move(buffer);
    unit.mediaMs = mediaMs;
    unit.cachedUs = clockUs_();
    const PushDataCache::AppendResult result = m_cache_push_data_list.Append(std::move(unit));
    if (result.logBacklog) {
        SC_LOG("RtmpPusher::CheckPushDataSize, Context [%d] push data cache size [%zu], cdn: %s.\n",
               contextId_, result.count, cdnName_.c_str());
    }
    if (result.logFull) {
        SC_LOG("context: %d %s cash push data, but m_cache_push_data_list is full: %zu.\n",
               contextId_, cdnName_.c_str(), result.count);
    }
    if (!result.appended) {
        return E_FAIL;
    }
    wakeUp_.Release();
    return 0;
}

void RtmpPusher::SetMetaData(const StreamMetaData& meta) {
    SC_LOG(
        "RtmpPusher::SetMetaData, Set metadata [width: %d, height: %d, frame rate: %d], context: "
        "%d, cdn: %s.\n",
        meta.width, meta.height, meta.frameRate, contextId_, cdnName_.c_str());
    platform::MutexLock lock(metaLock_);
    if (meta == meta_) {
        return;
    }
    meta_ = meta;
    ++metaGeneration_;
    SC_LOG("RtmpPusher::SetMetaData, Metadata changes, context: %d, cdn: %s.\n", contextId_,
           cdnName_.c_str());
}

void RtmpPusher::SetVideoStatus(int32_t status) {
    SC_LOG("RtmpPusher::SetVideoStatus, Set video status [%d], context: %d, cdn: %s.\n", status,
           contextId_, cdnName_.c_str());
    if (status != 0) {
        hasVideo_.store(true);
    }
}

void RtmpPusher::SendNext() {
    PushDataInfo unit;
    uint64_t waitUs = 0;
    if (!m_cache_push_data_list.TakeNext(clockUs_(), &unit, &waitUs)) {
        // Nothing, or a unit held for interleaving; a new unit wakes the thread sooner.
        wakeUp_.WaitFor(waitUs > 0 ? static_cast<uint32_t>((waitUs + 999) / 1000) : kIdleWaitMs);
        return;
    }
    if (state_.load() == PushState::kStreaming) {
        platform::MutexLock lock(metaLock_);
        if (metaGeneration_ != startedGeneration_) {
            To(PushState::kSendingHeaders);  // new metadata: the picture starts again
        }
    }
    const bool sent = unit.type == kPushDataAudio ? SendAudio(unit) : SendVideo(unit);
    if (!sent) {
        Fail();
        return;
    }
    // The unit's buffer goes back to the allocator when `unit` goes.
}

bool RtmpPusher::SendAudio(const PushDataInfo& unit) {
    const bool streaming = state_.load() == PushState::kStreaming;
    if (hasVideo_.load() && !streaming) {
        SC_LOG("RtmpPusher::PushAudioStream, Wait video key frame, context: %d, cdn: %s.\n",
               contextId_, cdnName_.c_str());
        return true;  // sound waits for the picture
    }
    if (!sender_->SendAudio(unit.buffer->GetData(), unit.length, TimestampOf(unit))) {
        return false;
    }
    NoteSent(unit);
    if (!streaming) {
        To(PushState::kStreaming);  // a stream without pictures starts with its sound
    }
    return true;
}

bool RtmpPusher::SendVideo(const PushDataInfo& unit) {
    const uint8_t* data = unit.buffer->GetData();
    const int32_t offset = parameterSets_.Parse(data, unit.length);
    VideoUnit video;
    video.picture = data + offset;
    video.length = unit.length - offset;
    video.keyFrame = unit.keyFrame != 0;
    video.sps = parameterSets_.Sps();
    video.spsLength = parameterSets_.SpsLength();
    video.pps = parameterSets_.Pps();
    video.ppsLength = parameterSets_.PpsLength();
    const uint32_t timestamp = TimestampOf(unit);
    if (state_.load() == PushState::kSendingHeaders && video.keyFrame && offset > 0) {
        if (!parameterSets_.Complete()) {
            SC_LOG(
                "RtmpPusher::PushVideoStream, Key frame without parameter sets, context: %d, "
                "cdn: %s.\n",
                contextId_, cdnName_.c_str());
        } else {
            StreamMetaData meta;
            uint32_t generation = 0;
            {
                platform::MutexLock lock(metaLock_);
                meta = meta_;
                generation = metaGeneration_;
            }
            if (!sender_->StartVideo(meta, video, timestamp)) {
                return false;
            }
            startedGeneration_ = generation;
            To(PushState::kStreaming);
        }
    }
    if (!sender_->SendVideo(video, timestamp)) {
        return false;
    }
    NoteSent(unit);
    return true;
}

void RtmpPusher::NoteSent(const PushDataInfo& unit) {
    wire_.Sent(unit.mediaMs, sender_->BytesWritten());
    lastSentMediaMs_ = unit.mediaMs;
    mediaBytes_ += static_cast<uint64_t>(unit.length);
}

uint64_t RtmpPusher::MediaShare(uint64_t delivered) const {
    const uint64_t written = sender_->BytesWritten();
    return written == 0 ? 0
                        : static_cast<uint64_t>(static_cast<double>(delivered) * mediaBytes_ /
                                                static_cast<double>(written));
}

uint64_t RtmpPusher::Delivered(uint64_t written, uint64_t queued, uint64_t dropped) {
    return written > queued + dropped ? written - queued - dropped : 0;
}

int32_t RtmpPusher::BacklogMs() {
    const uint64_t written = sender_->BytesWritten();
    const uint64_t queued = static_cast<uint64_t>(std::max<int64_t>(sender_->QueuedBytes(), 0));
    const uint64_t acked = written > queued ? written - queued : 0;
    uint64_t oldest = 0;
    uint64_t newest = lastSentMediaMs_;
    bool pending = wire_.Oldest(acked, &oldest);
    uint64_t cachedOldest = 0;
    uint64_t cachedNewest = 0;
    if (m_cache_push_data_list.MediaSpan(&cachedOldest, &cachedNewest)) {
        oldest = pending ? std::min(oldest, cachedOldest) : cachedOldest;
        newest = std::max(newest, cachedNewest);
        pending = true;
    }
    return pending && newest > oldest ? static_cast<int32_t>(newest - oldest) : 0;
}

void RtmpPusher::Tick(uint64_t nowUs) {
    const PushState state = state_.load();
    const bool connected = state == PushState::kSendingHeaders || state == PushState::kStreaming;
    if (connected) {
        const int32_t backlog = BacklogMs();
        backlogMs_.store(backlog);
        if (backlog > dropThresholdMs_) {
            const size_t dropped = m_cache_push_data_list.DropVideoToNextKey();
            if (dropped > 0) {
                SC_LOG(
                    "RtmpPusher, backlog %d ms: %zu video units dropped, context: %d, cdn: %s.\n",
                    backlog, dropped, contextId_, cdnName_.c_str());
            }
            videoDropped_.fetch_add(dropped);
            RequestKeyFrame();
        }
    } else {
        backlogMs_.store(0);
    }
    videoDropped_.fetch_add(m_cache_push_data_list.TakeSkippedVideo());
    if (nowUs >= nextSampleUs_) {
        // The send rate over the last two seconds, from what the server acknowledged, in media
        // bytes: the packaging (MPEG-TS's is about a tenth) does not count.
        const uint64_t delivered =
            connected
                ? Delivered(sender_->BytesWritten(), std::max<int64_t>(sender_->QueuedBytes(), 0),
                            sender_->DroppedBytes())
                : 0;
        rateSamples_[0] = rateSamples_[1];
        rateSamples_[1] = rateSamples_[2];
        rateSamples_[2] = mediaBefore_ + MediaShare(delivered);
        bytesSent_.store(ackedBefore_ + delivered);
        sendKbps_.store(static_cast<int32_t>((rateSamples_[2] - rateSamples_[0]) * 8 / 2000));
        nextSampleUs_ = nowUs + kSampleIntervalUs;
        PushStatisticsFile::Instance().WriteIfDue(nowUs);
    }
    if (nowUs >= nextLogUs_) {
        if (nextLogUs_ != 0) {
            LogStatistics();
        }
        nextLogUs_ = nowUs + kLogIntervalUs;
    }
}

void RtmpPusher::RequestKeyFrame() {
    if (requestKeyFrame_ != nullptr) {
        requestKeyFrame_();
    }
}

PusherStats RtmpPusher::Statistics() const {
    PusherStats stats;
    stats.contextId = contextId_;
    stats.url = shownUrl_;
    stats.state = state_.load();
    stats.bytesSent = bytesSent_.load();
    stats.sendKbps = sendKbps_.load();
    stats.backlogMs = backlogMs_.load();
    stats.deadlineMs = deadlineMs_.load();
    stats.videoDropped = videoDropped_.load();
    stats.reconnects = reconnects_.load();
    stats.connectFailures = connectFailures_.load();
    stats.lastError = lastError_.load();
    stats.encoderKbps = encoderKbps_.load();
    stats.encoderLevel = encoderLevel_.load();
    return stats;
}

void RtmpPusher::LogStatistics() {
    const PusherStats stats = Statistics();
    SC_LOG(
        "RtmpPusher::Statistics, state: %s, sent: %llu bytes, %d kbit/s, backlog: %d ms, video "
        "dropped: %llu, reconnects: %u, failed connects: %u (last error %d), encoder: %d kbit/s at "
        "level %d, context: %d, cdn: %s.\n",
        PushStateName(stats.state), static_cast<unsigned long long>(stats.bytesSent),
        stats.sendKbps, stats.backlogMs, static_cast<unsigned long long>(stats.videoDropped),
        stats.reconnects, stats.connectFailures, stats.lastError, stats.encoderKbps,
        stats.encoderLevel, contextId_, cdnName_.c_str());
}

}  // namespace streammanager
