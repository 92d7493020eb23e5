// The RTMP publishing connection a pusher sends through. RtmpConnection is the real one
// (librtmp); tests put a recording fake in its place.
//
// The push thread makes every call but Abort, one at a time, under the pusher's send lock (and
// the pusher's owner makes Close after the thread has ended). Abort may come from any thread
// while another call blocks, and must make that call return soon with a failure.
#pragma once

#include <cstdint>

namespace streammanager {

// One RTMP message: full chunk header (type 0), the connection's message stream, a timestamp
// relative to the stream's start. The body is `prefix` followed by `payload`, so the FLV tag
// header bytes and the unit's data need not be joined first.
struct RtmpMessage {
    uint8_t type = 0;
    uint32_t chunkStream = 0;
    uint32_t timestamp = 0;
    const uint8_t* prefix = nullptr;
    uint32_t prefixSize = 0;
    const uint8_t* payload = nullptr;
    uint32_t payloadSize = 0;
};

class IRtmpConnection {
  public:
    virtual ~IRtmpConnection() = default;

    // Makes a fresh handle (closing any previous one). False when memory is short.
    virtual bool Open() = 0;
    // Parses the URL and marks the connection as publishing. False when it is not understood.
    virtual bool SetupUrl(const char* url) = 0;
    // TCP connection, handshake and the connect command. False on failure.
    virtual bool Connect() = 0;
    // Creates the stream and publishes it; true once the server has accepted the publisher.
    virtual bool ConnectStream() = 0;
    // A handle exists (from Open until Close), connected or not.
    virtual bool IsOpen() const = 0;
    // True when the whole message went out.
    virtual bool SendPacket(const RtmpMessage& message) = 0;
    // Closes the connection and frees the handle; nothing happens without one.
    virtual void Close() = 0;
    // The errno-style cause of the last failure.
    virtual int32_t LastError() const = 0;
    // Bytes written that the server has not acknowledged yet (in the socket, unsent or in
    // flight); 0 without a connection.
    virtual int64_t QueuedBytes() = 0;

    // Any thread: cuts short a connect or send in progress; every later attempt fails.
    virtual void Abort() = 0;
};

}  // namespace streammanager
