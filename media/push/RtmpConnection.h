// The librtmp publishing connection of one pusher, and the only code that calls librtmp. Owns
// the RTMP handle (m_p_rtmp), a copy of the URL that the handle points into, the buffer each
// packet is built in (librtmp's header room, then the body) and the TcpConnector that opens
// the TCP connection (directly or through a SOCKS proxy), so that Abort can cut a name
// look-up, connect, handshake or send short. For rtmps:// the TLS session (TlsSession) sits
// between librtmp and the socket.
//
// Threads as IRtmpConnection says: the push thread (or the owner once that thread has ended)
// makes every call but Abort; no lock of its own. Writes to a connection the server has closed
// fail with EPIPE instead of raising SIGPIPE, on whichever thread makes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/push/IRtmpConnection.h"
#include "platform/TcpConnector.h"

struct RTMP;
struct RTMPPacket;

namespace streammanager {

class RtmpConnection : public IRtmpConnection {
  public:
    // Outgoing chunk size announced after publishing: whole units go out in few writes.
    static constexpr int kOutChunkSize = 4096;
    // Longest wait for the TCP connection to a CDN.
    static constexpr int kConnectTimeoutMs = 10000;

    RtmpConnection();
    ~RtmpConnection() override;
    RtmpConnection(const RtmpConnection&) = delete;
    RtmpConnection& operator=(const RtmpConnection&) = delete;

    bool Open() override;
    bool SetupUrl(const char* url) override;
    bool Connect() override;
    bool ConnectStream() override;
    bool IsOpen() const override { return m_p_rtmp != nullptr; }
    bool SendPacket(const RtmpMessage& message) override;
    void Close() override;
    int32_t LastError() const override { return lastError_; }
    int64_t QueuedBytes() override { return connector_.QueuedBytes(); }
    void Abort() override { connector_.Abort(); }

  private:
    // An onStatus message of level "error": the server turns the publisher away.
    static bool IsErrorStatus(const RTMPPacket& packet);
    bool SendChunkSize();
    // The TCP connection to host:port, through the URL's SOCKS proxy (socks=host:port) when it
    // names one, as librtmp would make it but on the connector, so that Abort reaches every
    // step. The socket, or -1.
    int OpenSocket(const std::string& host, int port);
    // The TLS handshake on the connected socket; librtmp ends the session in RTMP_Close.
    bool StartTls(const std::string& host);

    RTMP* m_p_rtmp = nullptr;
    // librtmp keeps pointers into the URL it parses and writes into it.
    std::vector<char> url_;
    std::vector<char> packet_;
    platform::TcpConnector connector_;
    int32_t lastError_ = 0;
    bool tls_ = false;  // rtmps: TLS under librtmp, set up by StartTls
};

}  // namespace streammanager
