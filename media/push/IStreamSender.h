// How a pusher's stream leaves for one kind of server: the connection and the packaging of
// the units (RTMP: FLV tag bodies, onMetaData and sequence headers). The pusher decides what
// goes out and when; the sender only connects, packs and writes.
//
// Owned by its pusher. The push thread makes every call but Abort, one at a time (and the
// pusher's owner makes Close after the thread has ended); Abort may come from any thread while
// another call blocks, and makes it return soon with a failure.
#pragma once

#include <cstdint>
#include <string>

#include "media/push/StreamMetaData.h"

namespace streammanager {

// An H.264 access unit ready to leave: the picture from its first picture NAL unit on, and
// the parameter sets last seen.
struct VideoUnit {
    const uint8_t* picture = nullptr;  // Annex B, from the first picture NAL unit's header
    int32_t length = 0;
    bool keyFrame = false;
    const uint8_t* sps = nullptr;  // from its NAL header byte
    uint32_t spsLength = 0;
    const uint8_t* pps = nullptr;
    uint32_t ppsLength = 0;
};

class IStreamSender {
  public:
    virtual ~IStreamSender() = default;

    // Connects to `url` and makes the stream ready to publish. False on failure (logged).
    virtual bool Connect(const std::string& url, int32_t contextId, const std::string& cdn) = 0;
    // Closes the connection; nothing happens without one.
    virtual void Close() = 0;
    // The stream's picture starts (again) here: what a player needs before the first key
    // frame (metadata and the sequence header). False when it did not go out.
    virtual bool StartVideo(const StreamMetaData& meta, const VideoUnit& key,
                            uint32_t timestamp) = 0;
    virtual bool SendVideo(const VideoUnit& unit, uint32_t timestamp) = 0;
    // An AAC frame with its ADTS header; the first one of a connection brings what a player
    // needs to decode the sound.
    virtual bool SendAudio(const uint8_t* frame, int32_t length, uint32_t timestamp) = 0;
    // Bytes handed to the connection since it was made.
    virtual uint64_t BytesWritten() const = 0;
    // Bytes handed over that the server has not acknowledged yet.
    virtual int64_t QueuedBytes() = 0;
    // Bytes handed over that the transport gave up on as too late (SRT drops what can no
    // longer arrive within the latency; a TCP stream never does).
    virtual uint64_t DroppedBytes() { return 0; }
    // How long the link may hold a unit before the receiver gives up on it (SRT's latency);
    // 0: no such limit. Valid once connected.
    virtual int32_t DeadlineMs() { return 0; }
    // The errno-style cause of the last failure.
    virtual int32_t LastError() const = 0;
    virtual void Abort() = 0;
};

}  // namespace streammanager
