#include "media/push/SrtSender.h"

#include "base/Log.h"
#include "platform/Clock.h"

namespace streammanager {

namespace {

// The output's sound is always AAC at 48 kHz, in stereo.
constexpr int32_t kSampleRate = 48000;
constexpr int32_t kChannels = 2;
constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

bool operator==(const TsMuxer::Streams& a, const TsMuxer::Streams& b) {
    return a.width == b.width && a.height == b.height && a.sampleRate == b.sampleRate &&
           a.channels == b.channels;
}

void Append(std::vector<uint8_t>* out, const uint8_t* data, size_t length) {
    out->insert(out->end(), kStartCode, kStartCode + sizeof(kStartCode));
    out->insert(out->end(), data, data + length);
}

}  // namespace

SrtSender::SrtSender()
    : muxer_(SrtConnection::kPayloadSize, [this](const uint8_t* data, int32_t length) {
          if (!connection_.Send(data, length)) {
              return false;
          }
          written_ += static_cast<uint64_t>(length);
          return true;
      }) {}

bool SrtSender::Connect(const std::string& url, int32_t contextId, const std::string& cdn) {
    contextId_ = contextId;
    cdn_ = cdn;
    written_ = 0;
    muxer_.Close();
    SrtUrl destination;
    if (const char* refusal = SrtUrl::Parse(url, &destination)) {
        SC_LOG("Context: %d SRT URL refused (%s), CDN: %s.\n", contextId_, refusal, cdn_.c_str());
        return false;
    }
    if (!connection_.Connect(destination)) {
        SC_LOG("Context: %d SRT connect to %s:%d failed: %s (%d), CDN: %s.\n", contextId_,
               destination.host.c_str(), destination.port, connection_.LastReason().c_str(),
               connection_.LastError(), cdn_.c_str());
        return false;
    }
    SC_LOG("Context: %d SRT connected to %s:%d, CDN: %s.\n", contextId_, destination.host.c_str(),
           destination.port, cdn_.c_str());
    return true;
}

void SrtSender::Close() {
    muxer_.Close();
    if (connection_.IsOpen()) {
        connection_.Close();
        SC_LOG("Context: %d %s SRT connection closed.\n", contextId_, cdn_.c_str());
    }
}

bool SrtSender::Program(const TsMuxer::Streams& streams) {
    if (muxer_.IsOpen() && muxer_.Program() == streams) {
        return true;
    }
    if (!muxer_.Open(streams)) {
        return Failed("program start");
    }
    SC_LOG("Context: %d SRT program: picture %dx%d, sound %d Hz, CDN: %s.\n", contextId_,
           streams.width, streams.height, streams.sampleRate, cdn_.c_str());
    return true;
}

bool SrtSender::Failed(const char* what) {
    SC_LOG("Context: %d SRT %s failed: %s (%d), CDN: %s.\n", contextId_, what,
           connection_.LastReason().c_str(), connection_.LastError(), cdn_.c_str());
    return false;
}

uint64_t SrtSender::Expand(uint32_t timestamp) {
    lastMs_ = platform::ExpandTickMs(timestamp, lastMs_ == 0 ? timestamp : lastMs_);
    return lastMs_;
}

bool SrtSender::StartVideo(const StreamMetaData& meta, const VideoUnit& /*key*/,
                           uint32_t /*timestamp*/) {
    TsMuxer::Streams streams;
    streams.width = meta.width;
    streams.height = meta.height;
    if (meta.hasAudio || muxer_.Program().sampleRate > 0) {
        streams.sampleRate = kSampleRate;
        streams.channels = kChannels;
    }
    return Program(streams);
}

bool SrtSender::SendVideo(const VideoUnit& unit, uint32_t timestamp) {
    if (!muxer_.IsOpen() || muxer_.Program().width <= 0) {
        return true;  // no picture before the one that starts it
    }
    picture_.clear();
    if (unit.keyFrame && unit.sps != nullptr && unit.pps != nullptr) {
        // A player may join at any key frame: each brings the parameter sets.
        Append(&picture_, unit.sps, unit.spsLength);
        Append(&picture_, unit.pps, unit.ppsLength);
    }
    Append(&picture_, unit.picture, static_cast<size_t>(unit.length));
    if (!muxer_.WriteVideo(picture_.data(), static_cast<int32_t>(picture_.size()), unit.keyFrame,
                           Expand(timestamp))) {
        return Failed("picture send");
    }
    return true;
}

bool SrtSender::SendAudio(const uint8_t* frame, int32_t length, uint32_t timestamp) {
    if (muxer_.Program().sampleRate <= 0 || !muxer_.IsOpen()) {
        TsMuxer::Streams streams = muxer_.IsOpen() ? muxer_.Program() : TsMuxer::Streams{};
        streams.sampleRate = kSampleRate;
        streams.channels = kChannels;
        if (!Program(streams)) {
            return false;
        }
    }
    if (!muxer_.WriteAudio(frame, length, Expand(timestamp))) {
        return Failed("sound send");
    }
    return true;
}

}  // namespace streammanager
