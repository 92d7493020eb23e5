#include "media/push/RtmpPusher.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/Log.h"
#include "interfaces/QXTypes.h"
#include "media/audio/AdtsHeader.h"
#include "media/push/FlvTagBody.h"
#include "media/push/RtmpConnection.h"
#include "platform/BrokenPipeGuard.h"
#include "platform/Clock.h"

namespace streammanager {

namespace {

// Host-name fragments of the two providers' ingest hosts; they only choose the label that log
// lines carry.
constexpr const char* kAliCdnMarker = "alivecdn";
constexpr const char* kPellamCdnMarker = "pellamcdn";

// RTMP message types and the chunk streams they go on.
constexpr uint8_t kAudioMessage = 8;
constexpr uint8_t kVideoMessage = 9;
constexpr uint8_t kDataMessage = 18;
constexpr uint32_t kVideoChunkStream = 4;
constexpr uint32_t kAudioChunkStream = 5;

// The idle wait's bound. Every change that gives the push thread work releases its wake-up,
// so the bound only keeps the wait finite; nothing waits for it to pass.
constexpr uint32_t kIdleWaitMs = 1000;
// How long StopRtmpThread lets the push thread end by itself before cutting its connection.
constexpr uint32_t kStopGraceMs = 150;

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
      connection_(options.connection != nullptr ? std::move(options.connection)
                                                : std::make_unique<RtmpConnection>()),
      clockUs_(options.clockUs != nullptr ? std::move(options.clockUs) : platform::MonotonicMicros),
      firstTimestampMs_(options.firstTimestampMs),
      retryDelayMs_(options.retryDelayMs) {}

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
    platform::MutexLock lock(initLock_);
    if (inited_.load()) {
        SC_LOG("RtmpPusher inited . cdn url: %s .\n", url_.c_str());
        return 0;
    }
    if (!identitySet_) {
        const size_t length = strlen(url);
        if (length > kMaxUrlLength) {
            SC_LOG("RtmpPusher::InitRtmpPusher, cdn url too long [%zu], context = %d.\n", length,
                   contextId);
            return E_FAIL;
        }
        contextId_ = contextId;
        url_.assign(url, length);
        cdnName_ = CdnNameFor(url);
        identitySet_ = true;
    }
    SC_LOG("rtmp pusher InitRtmpPusher cdn url: %s.\n", url_.c_str());
    state_.store(kStateInitialised);
    inited_.store(true);
    m_uiSampleRate.store(48000);
    m_send_data.store(1);
    connectRequested_.store(true);
    wakeUp_.Release();
    return 0;
}

bool RtmpPusher::ConnectToCDN() {
    SC_TRACE("streammanager::RtmpPusher::ConnectToCDN");
    if (retryCount_ != 0 && StopEvent().WaitFor(retryDelayMs_)) {
        return false;  // stopped during the pause
    }
    KESTREL::WAutoLock lock(&sendLock_);
    if (!connection_->Open()) {
        SC_LOG("Context: %d RTMP_Alloc failed, CDN: %s.\n", contextId_, cdnName_.c_str());
        return FailConnect();
    }
    const bool understood = connection_->SetupUrl(url_.c_str());
    SC_LOG("Context: %d %s RTMP_SetupURL: %s.\n", contextId_, cdnName_.c_str(), url_.c_str());
    if (!understood) {
        SC_LOG("Context: %d rtmp set %s url failed.\n", contextId_, cdnName_.c_str());
        return FailConnect();
    }
    if (!connection_->Connect()) {
        SC_LOG("Context: %d rtmp connect %s failed.\n", contextId_, cdnName_.c_str());
        return FailConnect();
    }
    SC_LOG("Context: %d finish RTMP_Connect %s.\n", contextId_, cdnName_.c_str());
    if (connection_->ConnectStream()) {
        SC_LOG("Context: %d %s finish RTMP_ConnectStream.\n", contextId_, cdnName_.c_str());
        retryCount_ = 0;
        return true;
    }
    SC_LOG("%s rtmp connect stream failed.\n", cdnName_.c_str());
    return FailConnect();
}

bool RtmpPusher::FailConnect() {
    connection_->Close();
    ++retryCount_;
    return false;
}

int32_t RtmpPusher::ThreadProcEx() {
    SC_TRACE("streammanager::RtmpPusher::ThreadProcEx");
    // Writes to a CDN that has gone away fail instead of raising SIGPIPE.
    platform::BrokenPipeGuard brokenPipe;
    while (!StopRequested()) {
        // Wait while there is nothing to do: no connection to make and nothing to send.
        while (!StopRequested() && !connectRequested_.load() &&
               (state_.load() != kStateConnected || m_cache_push_data_list.Empty())) {
            wakeUp_.WaitFor(kIdleWaitMs);
        }
        if (StopRequested()) {
            break;
        }
        if (connectRequested_.load()) {
            if (!ConnectToCDN()) {
                SC_LOG("Context: %d connected to %s: %s failed.\n", contextId_, cdnName_.c_str(),
                       url_.c_str());
                continue;
            }
            state_.store(kStateConnected);
            connectRequested_.store(false);
            SC_LOG("Context: %d connected to %s: %s success.\n", contextId_, cdnName_.c_str(),
                   url_.c_str());
        }
        if (state_.load() == kStateConnected) {
            SendCachedData();
        }
    }
    SC_LOG("Context: %d %s rtmp pusher exit.\n", contextId_, cdnName_.c_str());
    threadEnded_.Set();
    return 0;
}

void RtmpPusher::ReInitRtmpPusher() {
    SC_TRACE("streammanager::RtmpPusher::ReInitRtmpPusher");
    StopEvent().WaitFor(retryDelayMs_);
    UinitRtmpPusher();  // takes sendLock_ again, on purpose: it is re-entrant
    inited_.store(false);
    aacHeaderSent_ = false;
    videoStarted_.store(false);
    parameterSets_.Clear();
    m_cache_push_data_list.ResetBacklogCounter();
    m_uiSampleRate.store(0);
    ClearPushDataCache();
    InitRtmpPusher(url_.c_str(), contextId_);
}

int32_t RtmpPusher::UinitRtmpPusher() {
    SC_TRACE("streammanager::RtmpPusher::UinitRtmpPusher");
    KESTREL::WAutoLock lock(&sendLock_);
    int32_t result = 0;
    if (connection_->IsOpen()) {
        connection_->Close();
        SC_LOG("Context: %d %s UinitRtmpPusher free rtmp.\n", contextId_, cdnName_.c_str());
    } else {
        SC_LOG("%s rtmp pusher is not inited.\n", cdnName_.c_str());
        result = E_FAIL;
    }
    parameterSets_.Clear();
    return result;
}

void RtmpPusher::StopRtmpThread() {
    SC_TRACE("streammanager::RtmpPusher::StopRtmpThread");
    SignalStop();
    if (IsRunning() && !threadEnded_.WaitFor(kStopGraceMs)) {
        // Blocked in a connect or a send: cut it short.
        connection_->Abort();
    }
    StopThread();
    ReleaseRtmpSource();
}

void RtmpPusher::SignalStop() {
    KESTREL::WThread::SignalStop();
    wakeUp_.Release();  // false only when a wake-up is already pending
}

void RtmpPusher::ReleaseRtmpSource() {
    SC_LOG("Context: %d %s rtmp pusher ReleaseRtmpSource.\n", contextId_, cdnName_.c_str());
    ClearPushDataCache();
    UinitRtmpPusher();
    state_.store(kStateReleased);
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
    videoStarted_.store(false);
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

void RtmpPusher::SendCachedData() {
    PushDataInfo unit;
    uint64_t waitUs = 0;
    if (!m_cache_push_data_list.TakeNext(clockUs_(), &unit, &waitUs)) {
        if (waitUs > 0) {
            // Held for interleaving; a new unit wakes the thread sooner.
            wakeUp_.WaitFor(static_cast<uint32_t>((waitUs + 999) / 1000));
        }
        return;
    }
    if (unit.type == kPushDataAudio && hasVideo_.load() && !videoStarted_.load()) {
        SC_LOG("RtmpPusher::PushAudioStream, Wait video key frame, context: %d, cdn: %s.\n",
               contextId_, cdnName_.c_str());
        return;  // sound waits for the picture
    }
    const uint8_t* data = unit.buffer->GetData();
    const uint32_t timestamp = TimestampOf(unit);
    if (unit.type == kPushDataAudio) {
        PushAudioStream(data, unit.length, timestamp);
    } else {
        PushVideoStream(data, unit.length, unit.keyFrame, timestamp);
    }
    // The unit's buffer goes back to the allocator here.
}

void RtmpPusher::PushAudioStream(const uint8_t* data, int32_t length, uint32_t timestamp) {
    // A frame is its ADTS header and at least one byte more; the header is cut off below.
    if (data == nullptr || length <= static_cast<int32_t>(AdtsHeader::kSize) ||
        m_send_data.load() == 0) {
        SC_LOG("context: %d %s PushAudioStream failed, data_length: %d, m_send_data: %d.\n",
               contextId_, cdnName_.c_str(), length, m_send_data.load());
        return;
    }
    KESTREL::WAutoLock lock(&sendLock_);
    if (!aacHeaderSent_) {
        if (!SendAACSeqHeader(timestamp)) {
            return;  // the connection was re-initialised; this frame belongs to the old one
        }
        aacHeaderSent_ = true;
    }
    SendAudioData(data + AdtsHeader::kSize, length - static_cast<int32_t>(AdtsHeader::kSize),
                  timestamp);
}

void RtmpPusher::PushVideoStream(const uint8_t* data, int32_t length, uint32_t keyFrame,
                                 uint32_t timestamp) {
    if (data == nullptr || length < 1) {
        return;
    }
    KESTREL::WAutoLock lock(&sendLock_);
    if (!connection_->IsOpen()) {
        SC_LOG("PushVideoStream failed, context: %d %s m_p_rtmp is null.\n", contextId_,
               cdnName_.c_str());
        return;
    }
    const int32_t offset = parameterSets_.Parse(data, length);
    if (keyFrame != 0 && offset > 0 && !videoStarted_.load()) {
        if (!parameterSets_.Complete()) {
            SC_LOG(
                "RtmpPusher::PushVideoStream, Key frame without parameter sets, context: %d, "
                "cdn: %s.\n",
                contextId_, cdnName_.c_str());
        } else {
            uint32_t generation = 0;
            if (!SendMetaData(&generation) ||
                !SendAVCSeqHeader(parameterSets_.Sps(), parameterSets_.SpsLength(),
                                  parameterSets_.Pps(), parameterSets_.PpsLength(), timestamp)) {
                return;  // re-initialised; the unit went with the old connection
            }
            platform::MutexLock metaLock(metaLock_);
            // A metadata change meanwhile leaves the video waiting for the next key frame.
            videoStarted_.store(generation == metaGeneration_);
        }
    }
    SendVideoData(data + offset, length - offset, keyFrame, timestamp);
}

bool RtmpPusher::SendMetaData(uint32_t* generation) {
    SC_TRACE("streammanager::RtmpPusher::SendMetaData");
    StreamMetaData meta;
    {
        platform::MutexLock metaLock(metaLock_);
        meta = meta_;
        *generation = metaGeneration_;
    }
    uint8_t body[FlvTagBody::kHeaderBufferSize];
    const uint32_t size = FlvTagBody::WriteMetaData(meta, body, sizeof(body));
    if (!SendOrReInit(Message(kDataMessage, kVideoChunkStream, 0, body, size),
                      "RtmpPusher::SendMetaData, Send meta data failed, error = %d, context = %d, "
                      "cdn: %s.\n")) {
        return false;
    }
    SC_LOG(
        "RtmpPusher::SendMetaData, Send meta data successfully, width: %d, height: %d, frame "
        "rate: %d, context: %d, cdn: %s.\n",
        meta.width, meta.height, meta.frameRate, contextId_, cdnName_.c_str());
    return true;
}

bool RtmpPusher::SendAVCSeqHeader(const uint8_t* sps, uint32_t spsLength, const uint8_t* pps,
                                  uint32_t ppsLength, uint32_t timestamp) {
    uint8_t body[FlvTagBody::kHeaderBufferSize];
    const uint32_t size =
        FlvTagBody::WriteAvcSequenceHeader(sps, spsLength, pps, ppsLength, body, sizeof(body));
    if (size == 0) {
        SC_LOG("Context: %d %s bad parameter\n", contextId_, cdnName_.c_str());
        return false;
    }
    if (!connection_->IsOpen()) {
        SC_LOG("Context: %d %s m_p_rtmp is NULL.\n", contextId_, cdnName_.c_str());
        return false;
    }
    if (!SendOrReInit(Message(kVideoMessage, kVideoChunkStream, timestamp, body, size),
                      "RtmpPusher::SendAVCSeqHeader, Send avc sequence header failed, error = %d, "
                      "context: %d, cdn: %s.\n")) {
        return false;
    }
    SC_LOG(
        "RtmpPusher::SendAVCSeqHeader, Send avc sequence header successfully, context: %d, "
        "cdn: %s.\n",
        contextId_, cdnName_.c_str());
    return true;
}

bool RtmpPusher::SendAACSeqHeader(uint32_t timestamp) {
    if (!connection_->IsOpen()) {
        SC_LOG("Send AAC sequence header failed, m_p_rtmp is null, context: %d, cdn: %s.\n",
               contextId_, cdnName_.c_str());
        return false;
    }
    const uint32_t sampleRate = m_uiSampleRate.load();
    if (sampleRate == 48000) {
        SC_LOG("m_uiSampleRate = %d .\n", static_cast<int>(sampleRate));
    } else if (sampleRate == 44100) {
        SC_LOG("m_uiSampleRate = 44100\n");
    }
    uint8_t body[FlvTagBody::kAacSequenceHeaderSize];
    FlvTagBody::WriteAacSequenceHeader(sampleRate, body);
    if (!SendOrReInit(Message(kAudioMessage, kAudioChunkStream, timestamp, body, sizeof(body)),
                      "RtmpPusher::SendAACSeqHeader, Send acc sequence header failed, error = %d, "
                      "context = %d, cdn: %s.\n")) {
        return false;
    }
    SC_LOG(
        "RtmpPusher::SendAACSeqHeader, Send aac sequence header successfully, context = %d, "
        "cdn: %s.\n",
        contextId_, cdnName_.c_str());
    return true;
}

bool RtmpPusher::SendAudioData(const uint8_t* data, int32_t length, uint32_t timestamp) {
    if (data == nullptr || length < 1) {
        SC_LOG("Context: %d %s bad paramter\n", contextId_, cdnName_.c_str());
        return false;
    }
    uint8_t prefix[FlvTagBody::kAudioPrefixSize];
    FlvTagBody::WriteAudioPrefix(prefix);
    return SendOrReInit(Message(kAudioMessage, kAudioChunkStream, timestamp, data,
                                static_cast<uint32_t>(length), prefix, sizeof(prefix)),
                        "RtmpPusher::SendAudioData, Send rtmp packet failed, error = %d, context = "
                        "%d, cdn: %s.\n");
}

bool RtmpPusher::SendVideoData(const uint8_t* data, int32_t length, uint32_t keyFrame,
                               uint32_t timestamp) {
    if (data == nullptr || length < 1) {
        SC_LOG("Context: %d %s bad paramter\n", contextId_, cdnName_.c_str());
        return false;
    }
    uint8_t prefix[FlvTagBody::kVideoPrefixSize];
    FlvTagBody::WriteVideoPrefix(keyFrame != 0, static_cast<uint32_t>(length), prefix);
    return SendOrReInit(Message(kVideoMessage, kVideoChunkStream, timestamp, data,
                                static_cast<uint32_t>(length), prefix, sizeof(prefix)),
                        "RtmpPusher::SendVideoData, Send video data failed, error = %d, context = "
                        "%d, cdn: %s.\n");
}

RtmpMessage RtmpPusher::Message(uint8_t type, uint32_t chunkStream, uint32_t timestamp,
                                const uint8_t* payload, uint32_t payloadSize, const uint8_t* prefix,
                                uint32_t prefixSize) {
    RtmpMessage message;
    message.type = type;
    message.chunkStream = chunkStream;
    message.timestamp = timestamp;
    message.prefix = prefix;
    message.prefixSize = prefixSize;
    message.payload = payload;
    message.payloadSize = payloadSize;
    return message;
}

bool RtmpPusher::SendOrReInit(const RtmpMessage& message, const char* failureFormat) {
    if (!connection_->IsOpen()) {
        SC_LOG("Context:%d %s SendPacket failed, m_p_rtmp is null.\n", contextId_,
               cdnName_.c_str());
    } else if (connection_->SendPacket(message)) {
        return true;
    }
    SC_LOG(failureFormat, connection_->LastError(), contextId_, cdnName_.c_str());
    ReInitRtmpPusher();
    return false;
}

}  // namespace streammanager
