// A pusher's stream over SRT: MPEG-TS (TsMuxer) in SRT messages (SrtConnection, caller mode,
// the URL's options). A key frame that starts the picture goes out with its parameter sets in
// band; the program's tables come first on every connection and whenever its streams change
// (a picture joining a stream that started with sound alone).
//
// Owns the connection and the muxer. Threads as IStreamSender says; no lock of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/push/IStreamSender.h"
#include "media/push/SrtConnection.h"
#include "media/push/SrtUrl.h"
#include "media/push/TsMuxer.h"

namespace streammanager {

class SrtSender : public IStreamSender {
  public:
    SrtSender();

    bool Connect(const std::string& url, int32_t contextId, const std::string& cdn) override;
    void Close() override;
    bool StartVideo(const StreamMetaData& meta, const VideoUnit& key, uint32_t timestamp) override;
    bool SendVideo(const VideoUnit& unit, uint32_t timestamp) override;
    bool SendAudio(const uint8_t* frame, int32_t length, uint32_t timestamp) override;
    uint64_t BytesWritten() const override { return written_; }
    int64_t QueuedBytes() override { return connection_.QueuedBytes(); }
    uint64_t DroppedBytes() override { return connection_.DroppedBytes(); }
    int32_t DeadlineMs() override { return connection_.LatencyMs(); }
    int32_t LastError() const override { return connection_.LastError(); }
    void Abort() override { connection_.Abort(); }

  private:
    // Opens the program with these streams unless it has them already.
    bool Program(const TsMuxer::Streams& streams);
    bool Failed(const char* what);
    // The stamp in full milliseconds (it wraps at 2^32).
    uint64_t Expand(uint32_t timestamp);

    SrtConnection connection_;
    TsMuxer muxer_;
    // The current connection's: for its log lines, and what it was sent.
    int32_t contextId_ = 0;
    std::string cdn_;
    uint64_t written_ = 0;
    uint64_t lastMs_ = 0;
    TsMuxer::Streams sound_;        // the sound's part of the program, from the first frame
    std::vector<uint8_t> picture_;  // reused for every picture
};

}  // namespace streammanager
