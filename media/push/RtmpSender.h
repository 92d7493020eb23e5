// A pusher's stream over RTMP: the publishing connection (IRtmpConnection, librtmp behind it)
// and the FLV tag bodies its units travel in, with onMetaData and the AVC sequence header
// before a key frame that starts the picture and the AAC sequence header before the first
// sound of a connection.
//
// Owns the connection. Threads as IStreamSender says; no lock of its own.
#pragma once

#include <memory>
#include <vector>

#include "media/push/IRtmpConnection.h"
#include "media/push/IStreamSender.h"

namespace streammanager {

class RtmpSender : public IStreamSender {
  public:
    explicit RtmpSender(std::unique_ptr<IRtmpConnection> connection);

    bool Connect(const std::string& url, int32_t contextId, const std::string& cdn) override;
    void Close() override;
    bool StartVideo(const StreamMetaData& meta, const VideoUnit& key, uint32_t timestamp) override;
    bool SendVideo(const VideoUnit& unit, uint32_t timestamp) override;
    bool SendAudio(const uint8_t* frame, int32_t length, uint32_t timestamp) override;
    uint64_t BytesWritten() const override { return written_; }
    int64_t QueuedBytes() override { return connection_->QueuedBytes(); }
    int32_t LastError() const override { return connection_->LastError(); }
    void Abort() override { connection_->Abort(); }

  private:
    bool SendMetaData(const StreamMetaData& meta);
    bool SendAVCSeqHeader(const VideoUnit& key, uint32_t timestamp);
    bool SendAACSeqHeader(uint32_t timestamp);
    // Sends one message; when it does not go out, logs `failureFormat` (filled with the error,
    // the context id and the CDN name). True when sent.
    bool Send(uint8_t type, uint32_t chunkStream, uint32_t timestamp, const uint8_t* payload,
              uint32_t payloadSize, const uint8_t* prefix, uint32_t prefixSize,
              const char* failureFormat);

    const std::unique_ptr<IRtmpConnection> connection_;
    // The current connection's: for its log lines, and what it was sent.
    int32_t contextId_ = 0;
    std::string cdn_;
    bool aacHeaderSent_ = false;
    uint64_t written_ = 0;
    std::vector<uint8_t> videoBody_;  // reused for every picture
};

}  // namespace streammanager
