// One SRT caller connection in live mode (libsrt): connect to a listener with the URL's
// options, send messages of at most kPayloadSize bytes, and tell how much the peer has not
// acknowledged yet. The socket is non-blocking; every wait is an SRT epoll wait that also
// watches a wake-up descriptor, so Abort ends it at once. A peer that acknowledges nothing for
// kSilentPeerMs while data goes out counts as gone: SRT's own peer-idle check takes about 5 s
// however it is set. SRT does not pace the sending below its own ceiling: a key frame of a
// stream that is mostly still goes out at once, not at a rate SRT measured on the small
// pictures before it (which held it back past the latency); a slow link is the pusher's
// congestion rules' business, as for RTMP.
//
// Owns the SRT socket, its epoll and the wake-up. Owned by its SrtSender. The push thread
// makes every call but Abort, one at a time; Abort may come from any thread. The socket and
// epoll ids are the push thread's own; Abort only signals the wake-up, which stays set, so
// every later call fails (ECANCELED).
#pragma once

#include <cstdint>
#include <string>

#include "media/push/SrtUrl.h"
#include "platform/WakeupFd.h"

namespace streammanager {

class SrtConnection {
  public:
    // MPEG-TS over SRT: seven 188-byte packets per message.
    static constexpr int32_t kPayloadSize = 1316;
    static constexpr int32_t kConnectTimeoutMs = 3000;
    static constexpr int32_t kSilentPeerMs = 1500;
    // The longest a send waits for room in SRT's send buffer.
    static constexpr int32_t kSendTimeoutMs = 5000;

    SrtConnection() = default;
    ~SrtConnection() { Close(); }
    SrtConnection(const SrtConnection&) = delete;
    SrtConnection& operator=(const SrtConnection&) = delete;

    // Resolves the host and connects (closing any previous connection). False on failure:
    // LastError() holds the errno-style cause (EACCES for a passphrase the listener does not
    // share, ECONNREFUSED for another rejection, ETIMEDOUT, EHOSTUNREACH, ECANCELED) and
    // LastReason() SRT's words for it.
    bool Connect(const SrtUrl& url);
    // One message; false when the connection is lost or the send waited too long.
    bool Send(const uint8_t* data, int32_t length);
    // Bytes handed to SRT that the peer has not acknowledged yet; 0 without a connection.
    int64_t QueuedBytes();
    // Bytes SRT gave up on, since the connection was made, because they could no longer reach
    // the peer within its latency.
    uint64_t DroppedBytes();
    // The latency the peer holds each packet to, agreed at connect; 0 without a connection.
    int32_t LatencyMs() const { return latencyMs_; }
    bool IsOpen() const { return socket_ >= 0; }
    void Close();
    int32_t LastError() const { return lastError_; }
    const std::string& LastReason() const { return lastReason_; }

    void Abort() { wakeUp_.Signal(); }

  private:
    bool Fail(int32_t error, const std::string& reason);
    bool Configure(const SrtUrl& url);
    // Waits until the socket can be written to (or has failed); false on abort or time-out.
    bool WaitWritable(int32_t timeoutMs);
    bool Aborted() const;
    // Looks at the acknowledgements now and then; true once they have stopped too long.
    bool PeerWentSilent();

    int socket_ = -1;
    int epoll_ = -1;
    uint64_t lastAcks_ = 0;
    uint64_t lastAckUs_ = 0;
    uint64_t nextCheckUs_ = 0;
    int32_t latencyMs_ = 0;
    int32_t lastError_ = 0;
    std::string lastReason_;
    platform::WakeupFd wakeUp_;
};

}  // namespace streammanager
