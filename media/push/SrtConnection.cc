#include "media/push/SrtConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <srt/srt.h>
#include <syslog.h>

#include <cerrno>
#include <mutex>

#include "base/Log.h"
#include "platform/Clock.h"
#include "platform/NameResolver.h"

namespace streammanager {

namespace {

// libsrt's own lines (warnings and worse) go to our log, not to standard error.
void LogLibraryLine(void* /*opaque*/, int /*level*/, const char* /*file*/, int /*line*/,
                    const char* area, const char* message) {
    SC_LOG("SRT %s: %s\n", area, message);
}

void StartLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        srt_setloglevel(LOG_WARNING);
        srt_setlogflags(SRT_LOGF_DISABLE_TIME | SRT_LOGF_DISABLE_THREADNAME | SRT_LOGF_DISABLE_EOL);
        srt_setloghandler(nullptr, LogLibraryLine);
        srt_startup();
    });
}

template <typename T>
bool Set(int socket, SRT_SOCKOPT option, const T& value) {
    return srt_setsockflag(socket, option, &value, sizeof(value)) == 0;
}

bool SetText(int socket, SRT_SOCKOPT option, const std::string& text) {
    return srt_setsockflag(socket, option, text.data(), static_cast<int>(text.size())) == 0;
}

int32_t CauseOfRejection(int reason) {
    switch (reason) {
        case SRT_REJ_BADSECRET:
        case SRT_REJ_UNSECURE:
            return EACCES;
        case SRT_REJ_TIMEOUT:
            return ETIMEDOUT;
        default:
            return ECONNREFUSED;
    }
}

}  // namespace

bool SrtConnection::Fail(int32_t error, const std::string& reason) {
    lastError_ = error;
    lastReason_ = reason;
    return false;
}

bool SrtConnection::Aborted() const {
    pollfd wake{wakeUp_.Fd(), POLLIN, 0};
    return poll(&wake, 1, 0) > 0;
}

bool SrtConnection::Connect(const SrtUrl& url) {
    Close();
    lastError_ = 0;
    lastReason_.clear();
    if (!wakeUp_.IsValid() || Aborted()) {
        return Fail(ECANCELED, "aborted");
    }
    sockaddr_storage address{};
    int addressLength = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET6, url.host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(url.port));
        addressLength = sizeof(sockaddr_in6);
    } else {
        uint32_t ip = 0;
        const int error = platform::NameResolver::Process().Resolve(url.host, &wakeUp_, &ip);
        if (error != 0) {
            return Fail(error, "name lookup failed");
        }
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(url.port));
        v4->sin_addr.s_addr = ip;
        addressLength = sizeof(sockaddr_in);
    }
    StartLibrary();
    socket_ = srt_create_socket();
    epoll_ = srt_epoll_create();
    if (socket_ < 0 || epoll_ < 0) {
        return Fail(ENOMEM, srt_getlasterror_str());
    }
    if (!Configure(url)) {
        return Fail(EINVAL, srt_getlasterror_str());
    }
    const int events = SRT_EPOLL_OUT | SRT_EPOLL_ERR;
    const int wakeEvents = SRT_EPOLL_IN;
    if (srt_epoll_add_usock(epoll_, socket_, &events) != 0 ||
        srt_epoll_add_ssock(epoll_, wakeUp_.Fd(), &wakeEvents) != 0) {
        return Fail(ENOMEM, srt_getlasterror_str());
    }
    if (srt_connect(socket_, reinterpret_cast<const sockaddr*>(&address), addressLength) ==
        SRT_ERROR) {
        const int reason = srt_getrejectreason(socket_);
        return Fail(CauseOfRejection(reason), srt_rejectreason_str(reason));
    }
    // SRT's own connect time-out breaks the socket first; this bound is a backstop.
    if (!WaitWritable(kConnectTimeoutMs + 1000)) {
        return false;
    }
    if (srt_getsockstate(socket_) != SRTS_CONNECTED) {
        const int reason = srt_getrejectreason(socket_);
        return Fail(CauseOfRejection(reason), srt_rejectreason_str(reason));
    }
    int latency = 0;
    int size = sizeof(latency);
    latencyMs_ = srt_getsockflag(socket_, SRTO_PEERLATENCY, &latency, &size) == 0 ? latency : 0;
    lastAcks_ = 0;
    lastAckUs_ = platform::MonotonicMicros();
    nextCheckUs_ = lastAckUs_;
    return true;
}

bool SrtConnection::Configure(const SrtUrl& url) {
    const bool no = false;
    const bool yes = true;
    bool ok = Set(socket_, SRTO_TRANSTYPE, SRTT_LIVE) && Set(socket_, SRTO_SENDER, yes) &&
              Set(socket_, SRTO_SNDSYN, no) && Set(socket_, SRTO_RCVSYN, no) &&
              Set(socket_, SRTO_CONNTIMEO, kConnectTimeoutMs) &&
              Set(socket_, SRTO_PAYLOADSIZE, kPayloadSize);
    if (url.latencyMs >= 0) {
        ok = ok && Set(socket_, SRTO_LATENCY, url.latencyMs);
    }
    if (!url.streamId.empty()) {
        ok = ok && SetText(socket_, SRTO_STREAMID, url.streamId);
    }
    if (!url.passphrase.empty()) {
        ok = ok && SetText(socket_, SRTO_PASSPHRASE, url.passphrase);
    }
    if (url.keyLength > 0) {
        ok = ok && Set(socket_, SRTO_PBKEYLEN, url.keyLength);
    }
    return ok;
}

bool SrtConnection::WaitWritable(int32_t timeoutMs) {
    SRTSOCKET ready[2];
    int readable = 2;
    int writable = 2;
    SYSSOCKET woken[1];
    int wokenCount = 1;
    const int result = srt_epoll_wait(epoll_, ready, &readable, ready, &writable, timeoutMs, woken,
                                      &wokenCount, nullptr, nullptr);
    if (result < 0 && srt_getlasterror(nullptr) == SRT_ETIMEOUT) {
        return Fail(ETIMEDOUT, "timed out");
    }
    if (Aborted()) {
        return Fail(ECANCELED, "aborted");
    }
    return result >= 0 || Fail(EIO, srt_getlasterror_str());
}

bool SrtConnection::Send(const uint8_t* data, int32_t length) {
    if (socket_ < 0) {
        return Fail(ENOTCONN, "not connected");
    }
    if (PeerWentSilent()) {
        return Fail(ECONNRESET, "the peer went silent");
    }
    for (;;) {
        if (srt_sendmsg2(socket_, reinterpret_cast<const char*>(data), length, nullptr) >= 0) {
            return true;
        }
        if (srt_getlasterror(nullptr) != SRT_EASYNCSND) {
            return Fail(ECONNRESET, srt_getlasterror_str());
        }
        if (!WaitWritable(kSendTimeoutMs)) {
            return false;
        }
    }
}

bool SrtConnection::PeerWentSilent() {
    constexpr uint64_t kCheckIntervalUs = 100000;
    const uint64_t now = platform::MonotonicMicros();
    if (now < nextCheckUs_) {
        return false;
    }
    nextCheckUs_ = now + kCheckIntervalUs;
    SRT_TRACEBSTATS stats{};
    if (srt_bstats(socket_, &stats, 0) != 0) {
        return false;
    }
    const uint64_t acks = static_cast<uint64_t>(stats.pktRecvACKTotal);
    // Silence counts only while something waits for an acknowledgement: a stream that sent
    // nothing for a while (waiting for its first key frame) has a quiet peer, not a lost one.
    if (acks != lastAcks_ || stats.pktSndBuf == 0) {
        lastAcks_ = acks;
        lastAckUs_ = now;
    }
    return now - lastAckUs_ > uint64_t{kSilentPeerMs} * 1000;
}

int64_t SrtConnection::QueuedBytes() {
    SRT_TRACEBSTATS stats{};
    if (socket_ < 0 || srt_bstats(socket_, &stats, 0) != 0) {
        return 0;
    }
    return stats.byteSndBuf;
}

uint64_t SrtConnection::DroppedBytes() {
    SRT_TRACEBSTATS stats{};
    if (socket_ < 0 || srt_bstats(socket_, &stats, 0) != 0) {
        return 0;
    }
    return stats.byteSndDropTotal;
}

void SrtConnection::Close() {
    if (epoll_ >= 0) {
        srt_epoll_release(epoll_);
        epoll_ = -1;
    }
    if (socket_ >= 0) {
        srt_close(socket_);
        socket_ = -1;
    }
}

}  // namespace streammanager
