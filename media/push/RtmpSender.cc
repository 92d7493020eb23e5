#include "media/push/RtmpSender.h"

#include "base/Log.h"
#include "media/audio/AdtsHeader.h"
#include "media/push/FlvTagBody.h"

namespace streammanager {

namespace {

// RTMP message types and the chunk streams they go on.
constexpr uint8_t kAudioMessage = 8;
constexpr uint8_t kVideoMessage = 9;
constexpr uint8_t kDataMessage = 18;
constexpr uint32_t kVideoChunkStream = 4;
constexpr uint32_t kAudioChunkStream = 5;
// The output's sound is always AAC at 48 kHz.
constexpr uint32_t kSampleRate = 48000;

}  // namespace

RtmpSender::RtmpSender(std::unique_ptr<IRtmpConnection> connection)
    : connection_(std::move(connection)) {}

bool RtmpSender::Connect(const std::string& url, int32_t contextId, const std::string& cdn) {
    SC_TRACE("streammanager::RtmpPusher::ConnectToCDN");
    contextId_ = contextId;
    cdn_ = cdn;
    aacHeaderSent_ = false;
    written_ = 0;
    if (!connection_->Open()) {
        SC_LOG("Context: %d RTMP_Alloc failed, CDN: %s.\n", contextId_, cdn_.c_str());
        return false;
    }
    const bool understood = connection_->SetupUrl(url.c_str());
    SC_LOG("Context: %d %s RTMP_SetupURL: %s.\n", contextId_, cdn_.c_str(), url.c_str());
    if (!understood) {
        SC_LOG("Context: %d rtmp set %s url failed.\n", contextId_, cdn_.c_str());
        return false;
    }
    if (!connection_->Connect()) {
        SC_LOG("Context: %d rtmp connect %s failed.\n", contextId_, cdn_.c_str());
        return false;
    }
    SC_LOG("Context: %d finish RTMP_Connect %s.\n", contextId_, cdn_.c_str());
    if (!connection_->ConnectStream()) {
        SC_LOG("%s rtmp connect stream failed.\n", cdn_.c_str());
        return false;
    }
    SC_LOG("Context: %d %s finish RTMP_ConnectStream.\n", contextId_, cdn_.c_str());
    return true;
}

void RtmpSender::Close() {
    if (connection_->IsOpen()) {
        connection_->Close();
        SC_LOG("Context: %d %s UinitRtmpPusher free rtmp.\n", contextId_, cdn_.c_str());
    }
}

bool RtmpSender::StartVideo(const StreamMetaData& meta, const VideoUnit& key, uint32_t timestamp) {
    return SendMetaData(meta) && SendAVCSeqHeader(key, timestamp);
}

bool RtmpSender::SendMetaData(const StreamMetaData& meta) {
    SC_TRACE("streammanager::RtmpPusher::SendMetaData");
    uint8_t body[FlvTagBody::kHeaderBufferSize];
    const uint32_t size = FlvTagBody::WriteMetaData(meta, body, sizeof(body));
    if (!Send(kDataMessage, kVideoChunkStream, 0, body, size, nullptr, 0,
              "RtmpPusher::SendMetaData, Send meta data failed, error = %d, context = %d, "
              "cdn: %s.\n")) {
        return false;
    }
    SC_LOG(
        "RtmpPusher::SendMetaData, Send meta data successfully, width: %d, height: %d, frame "
        "rate: %d, context: %d, cdn: %s.\n",
        meta.width, meta.height, meta.frameRate, contextId_, cdn_.c_str());
    return true;
}

bool RtmpSender::SendAVCSeqHeader(const VideoUnit& key, uint32_t timestamp) {
    uint8_t body[FlvTagBody::kHeaderBufferSize];
    const uint32_t size = FlvTagBody::WriteAvcSequenceHeader(key.sps, key.spsLength, key.pps,
                                                             key.ppsLength, body, sizeof(body));
    if (size == 0) {
        SC_LOG("Context: %d %s bad parameter\n", contextId_, cdn_.c_str());
        return false;
    }
    if (!Send(kVideoMessage, kVideoChunkStream, timestamp, body, size, nullptr, 0,
              "RtmpPusher::SendAVCSeqHeader, Send avc sequence header failed, error = %d, "
              "context: %d, cdn: %s.\n")) {
        return false;
    }
    SC_LOG(
        "RtmpPusher::SendAVCSeqHeader, Send avc sequence header successfully, context: %d, "
        "cdn: %s.\n",
        contextId_, cdn_.c_str());
    return true;
}

bool RtmpSender::SendVideo(const VideoUnit& unit, uint32_t timestamp) {
    if (unit.picture == nullptr || unit.length < 1) {
        SC_LOG("Context: %d %s bad paramter\n", contextId_, cdn_.c_str());
        return false;
    }
    FlvTagBody::WriteVideoBody(unit.keyFrame, unit.picture, static_cast<uint32_t>(unit.length),
                               &videoBody_);
    return Send(kVideoMessage, kVideoChunkStream, timestamp, videoBody_.data(),
                static_cast<uint32_t>(videoBody_.size()), nullptr, 0,
                "RtmpPusher::SendVideoData, Send video data failed, error = %d, context = %d, "
                "cdn: %s.\n");
}

bool RtmpSender::SendAACSeqHeader(uint32_t timestamp) {
    SC_LOG("m_uiSampleRate = %d .\n", static_cast<int>(kSampleRate));
    uint8_t body[FlvTagBody::kAacSequenceHeaderSize];
    FlvTagBody::WriteAacSequenceHeader(kSampleRate, body);
    if (!Send(kAudioMessage, kAudioChunkStream, timestamp, body, sizeof(body), nullptr, 0,
              "RtmpPusher::SendAACSeqHeader, Send acc sequence header failed, error = %d, "
              "context = %d, cdn: %s.\n")) {
        return false;
    }
    SC_LOG(
        "RtmpPusher::SendAACSeqHeader, Send aac sequence header successfully, context = %d, "
        "cdn: %s.\n",
        contextId_, cdn_.c_str());
    return true;
}

bool RtmpSender::SendAudio(const uint8_t* frame, int32_t length, uint32_t timestamp) {
    // A frame is its ADTS header and at least one byte more; the header is cut off.
    if (frame == nullptr || length <= static_cast<int32_t>(AdtsHeader::kSize)) {
        SC_LOG("Context: %d %s bad paramter\n", contextId_, cdn_.c_str());
        return false;
    }
    if (!aacHeaderSent_) {
        if (!SendAACSeqHeader(timestamp)) {
            return false;
        }
        aacHeaderSent_ = true;
    }
    uint8_t prefix[FlvTagBody::kAudioPrefixSize];
    FlvTagBody::WriteAudioPrefix(prefix);
    return Send(kAudioMessage, kAudioChunkStream, timestamp, frame + AdtsHeader::kSize,
                static_cast<uint32_t>(length) - AdtsHeader::kSize, prefix, sizeof(prefix),
                "RtmpPusher::SendAudioData, Send rtmp packet failed, error = %d, context = %d, "
                "cdn: %s.\n");
}

bool RtmpSender::Send(uint8_t type, uint32_t chunkStream, uint32_t timestamp,
                      const uint8_t* payload, uint32_t payloadSize, const uint8_t* prefix,
                      uint32_t prefixSize, const char* failureFormat) {
    RtmpMessage message;
    message.type = type;
    message.chunkStream = chunkStream;
    message.timestamp = timestamp;
    message.prefix = prefix;
    message.prefixSize = prefixSize;
    message.payload = payload;
    message.payloadSize = payloadSize;
    if (!connection_->IsOpen()) {
        SC_LOG("Context:%d %s SendPacket failed, m_p_rtmp is null.\n", contextId_, cdn_.c_str());
    } else if (connection_->SendPacket(message)) {
        written_ += prefixSize + payloadSize;
        return true;
    }
    SC_LOG(failureFormat, connection_->LastError(), contextId_, cdn_.c_str());
    return false;
}

}  // namespace streammanager
