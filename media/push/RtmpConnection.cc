#include "media/push/RtmpConnection.h"

#include <librtmp/log.h>
#include <librtmp/rtmp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "base/Log.h"
#include "media/push/TlsSession.h"
#include "platform/BrokenPipeGuard.h"

namespace streammanager {

namespace {

constexpr uint8_t kChunkSizeMessage = 0x01;
constexpr uint32_t kControlChunkStream = 2;

bool Matches(const AVal& value, const char* text) {
    const size_t length = strlen(text);
    return value.av_val != nullptr && static_cast<size_t>(value.av_len) == length &&
           memcmp(value.av_val, text, length) == 0;
}

// An AMF property name for look-ups (librtmp never writes through it).
AVal Key(const char* text) {
    return AVal{const_cast<char*>(text), static_cast<int>(strlen(text))};
}

// librtmp's own error lines go into the program's log.
void LibraryLog(int level, const char* format, va_list args) {
    (void)level;
    char text[512];
    vsnprintf(text, sizeof(text), format, args);
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) {
        text[--length] = '\0';
    }
    SC_LOG("librtmp: %s\n", text);
}

// librtmp sets up process-wide state on first use (its TLS context in RTMP_Init, the clock
// rate in RTMP_GetTime, the log callback) without a lock; do it once, before any two threads
// can get there together.
void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        RTMP_LogSetCallback(LibraryLog);
        RTMP scratch;
        RTMP_Init(&scratch);
        RTMP_GetTime();
    });
}

}  // namespace

RtmpConnection::RtmpConnection() {
    InitLibraryOnce();
}

RtmpConnection::~RtmpConnection() {
    Close();
}

bool RtmpConnection::Open() {
    Close();
    m_p_rtmp = RTMP_Alloc();
    if (m_p_rtmp == nullptr) {
        lastError_ = ENOMEM;
        return false;
    }
    RTMP_Init(m_p_rtmp);
    return true;
}

bool RtmpConnection::SetupUrl(const char* url) {
    if (m_p_rtmp == nullptr || url == nullptr) {
        lastError_ = EINVAL;
        return false;
    }
    url_.assign(url, url + strlen(url) + 1);
    if (RTMP_SetupURL(m_p_rtmp, url_.data()) == 0) {
        lastError_ = EINVAL;
        return false;
    }
    RTMP_EnableWrite(m_p_rtmp);
    tls_ = (m_p_rtmp->Link.protocol & RTMP_FEATURE_SSL) != 0;
    if (tls_) {
        // The TLS layer is ours (StartTls); librtmp then reads and writes through it.
        m_p_rtmp->Link.protocol &= ~RTMP_FEATURE_SSL;
    }
    return true;
}

bool RtmpConnection::Connect() {
    if (m_p_rtmp == nullptr) {
        lastError_ = EINVAL;
        return false;
    }
    platform::BrokenPipeGuard brokenPipe;
    const std::string host(m_p_rtmp->Link.hostname.av_val,
                           static_cast<size_t>(m_p_rtmp->Link.hostname.av_len));
    const int fd = OpenSocket(host, m_p_rtmp->Link.port);
    if (fd < 0) {
        lastError_ = connector_.LastError();
        RTMP_Log(RTMP_LOGERROR, "failed to connect to %s:%d, error %d", host.c_str(),
                 m_p_rtmp->Link.port, lastError_);
        return false;
    }
    // What RTMP_Connect does after its own connect; librtmp owns and closes the socket now.
    m_p_rtmp->m_sb.sb_socket = fd;
    m_p_rtmp->m_sb.sb_timedout = 0;
    m_p_rtmp->m_pausing = 0;
    m_p_rtmp->m_fDuration = 0.0;
    m_p_rtmp->m_bSendCounter = 1;
    if (tls_ && !StartTls(host)) {
        return false;
    }
    const bool connected = RTMP_Connect1(m_p_rtmp, nullptr) != 0;
    lastError_ = connected ? 0 : errno;
    return connected;
}

int RtmpConnection::OpenSocket(const std::string& host, int port) {
    const int ioTimeoutMs = m_p_rtmp->Link.timeout * 1000;
    if (m_p_rtmp->Link.socksport == 0) {
        return connector_.Connect(host, port, kConnectTimeoutMs, ioTimeoutMs);
    }
    const std::string proxy(m_p_rtmp->Link.sockshost.av_val,
                            static_cast<size_t>(m_p_rtmp->Link.sockshost.av_len));
    return connector_.ConnectThroughSocks4(proxy, m_p_rtmp->Link.socksport, host, port,
                                           kConnectTimeoutMs, ioTimeoutMs);
}

bool RtmpConnection::StartTls(const std::string& host) {
    std::string error;
    void* session =
        TlsSession::Handshake(m_p_rtmp->m_sb.sb_socket, host, kConnectTimeoutMs, &error);
    if (session == nullptr) {
        lastError_ = ECONNREFUSED;
        RTMP_Log(RTMP_LOGERROR, "TLS with %s:%d failed: %s", host.c_str(), m_p_rtmp->Link.port,
                 error.c_str());
        return false;
    }
    m_p_rtmp->m_sb.sb_ssl = session;
    return true;
}

bool RtmpConnection::ConnectStream() {
    if (m_p_rtmp == nullptr) {
        lastError_ = EINVAL;
        return false;
    }
    platform::BrokenPipeGuard brokenPipe;
    // RTMP_ConnectStream's loop, except that a publisher the server turns away (an onStatus
    // of level "error", such as NetStream.Publish.BadName) ends it at once instead of leaving
    // it to wait for the receive time-out.
    m_p_rtmp->m_mediaChannel = 0;
    RTMPPacket packet;
    memset(&packet, 0, sizeof(packet));
    while (m_p_rtmp->m_bPlaying == 0 && RTMP_IsConnected(m_p_rtmp) != 0 &&
           RTMP_ReadPacket(m_p_rtmp, &packet) != 0) {
        if (!RTMPPacket_IsReady(&packet) || packet.m_nBodySize == 0) {
            continue;
        }
        const bool refused = IsErrorStatus(packet);
        if (!refused && packet.m_packetType != RTMP_PACKET_TYPE_AUDIO &&
            packet.m_packetType != RTMP_PACKET_TYPE_VIDEO &&
            packet.m_packetType != RTMP_PACKET_TYPE_INFO) {
            RTMP_ClientPacket(m_p_rtmp, &packet);
        }
        RTMPPacket_Free(&packet);
        if (refused) {
            lastError_ = ECONNREFUSED;
            return false;
        }
    }
    if (m_p_rtmp->m_bPlaying == 0) {
        lastError_ = errno != 0 ? errno : ECONNRESET;
        return false;
    }
    return SendChunkSize();
}

bool RtmpConnection::IsErrorStatus(const RTMPPacket& packet) {
    if (packet.m_packetType != RTMP_PACKET_TYPE_INVOKE || packet.m_body[0] != 0x02) {
        return false;
    }
    AMFObject message;
    if (AMF_Decode(&message, packet.m_body, static_cast<int>(packet.m_nBodySize), 0) < 0) {
        return false;
    }
    AVal method{};
    AMFProp_GetString(AMF_GetProp(&message, nullptr, 0), &method);
    bool error = false;
    if (Matches(method, "onStatus")) {
        AMFObject info;
        AMFProp_GetObject(AMF_GetProp(&message, nullptr, 3), &info);
        AVal levelKey = Key("level");
        AVal codeKey = Key("code");
        AVal level{};
        AVal code{};
        AMFProp_GetString(AMF_GetProp(&info, &levelKey, -1), &level);
        AMFProp_GetString(AMF_GetProp(&info, &codeKey, -1), &code);
        if (Matches(level, "error")) {
            error = true;
            RTMP_Log(RTMP_LOGERROR, "publishing refused: %.*s", code.av_len,
                     code.av_val != nullptr ? code.av_val : "");
        }
    }
    AMF_Reset(&message);
    return error;
}

bool RtmpConnection::SendChunkSize() {
    const uint8_t body[4] = {
        static_cast<uint8_t>(kOutChunkSize >> 24), static_cast<uint8_t>(kOutChunkSize >> 16),
        static_cast<uint8_t>(kOutChunkSize >> 8), static_cast<uint8_t>(kOutChunkSize)};
    RtmpMessage message;
    message.type = kChunkSizeMessage;
    message.chunkStream = kControlChunkStream;
    message.payload = body;
    message.payloadSize = sizeof(body);
    if (!SendPacket(message)) {
        return false;
    }
    m_p_rtmp->m_outChunkSize = kOutChunkSize;
    return true;
}

bool RtmpConnection::SendPacket(const RtmpMessage& message) {
    if (m_p_rtmp == nullptr || RTMP_IsConnected(m_p_rtmp) == 0) {
        lastError_ = ENOTCONN;
        return false;
    }
    const size_t bodySize = size_t{message.prefixSize} + message.payloadSize;
    if (packet_.size() < RTMP_MAX_HEADER_SIZE + bodySize) {
        packet_.resize(RTMP_MAX_HEADER_SIZE + bodySize);
    }
    char* body = packet_.data() + RTMP_MAX_HEADER_SIZE;
    if (message.prefixSize > 0) {
        memcpy(body, message.prefix, message.prefixSize);
    }
    if (message.payloadSize > 0) {
        memcpy(body + message.prefixSize, message.payload, message.payloadSize);
    }
    RTMPPacket packet;
    memset(&packet, 0, sizeof(packet));
    packet.m_headerType = RTMP_PACKET_SIZE_LARGE;
    packet.m_packetType = message.type;
    packet.m_nChannel = static_cast<int>(message.chunkStream);
    packet.m_nTimeStamp = message.timestamp;
    packet.m_hasAbsTimestamp = 0;
    packet.m_nInfoField2 = message.type == kChunkSizeMessage ? 0 : m_p_rtmp->m_stream_id;
    packet.m_nBodySize = static_cast<uint32_t>(bodySize);
    packet.m_body = body;
    platform::BrokenPipeGuard brokenPipe;
    errno = 0;
    const bool sent = RTMP_SendPacket(m_p_rtmp, &packet, 1) != 0;
    lastError_ = sent ? 0 : (errno != 0 ? errno : ENOTCONN);
    return sent;
}

void RtmpConnection::Close() {
    if (m_p_rtmp != nullptr) {
        platform::BrokenPipeGuard brokenPipe;
        RTMP_Close(m_p_rtmp);
        if (m_p_rtmp->Link.socksport != 0) {
            // RTMP_SetupURL copied the proxy's host name for the socks= option and never frees
            // the copy.
            free(m_p_rtmp->Link.sockshost.av_val);
        }
        RTMP_Free(m_p_rtmp);
        m_p_rtmp = nullptr;
    }
    connector_.Release();
}

}  // namespace streammanager
