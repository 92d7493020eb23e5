#include "framework/session/Session.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "interfaces/SessionFrame.h"
#include "platform/Clock.h"

namespace framework {

namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kWaitForever = -1;
// Messages up to this size go out with their length prefix in one write.
constexpr uint32_t kSingleWriteBytes = 4096;

int RemainingMs(uint64_t startUs, int timeoutMs) {
    const uint64_t spentMs = (platform::MonotonicMicros() - startUs) / 1000u;
    return spentMs >= static_cast<uint64_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spentMs);
}

}  // namespace

Session::Session(uint16_t id, const SessionAddress& address, const SessionParams& params,
                 const SessionLimits& limits)
    : id_(id), address_(address), params_(params), limits_(limits) {}

Session::~Session() {
    Stop();
    Join();
}

bool Session::Start() {
    return thread_.Start([this] { Run(); });
}

void Session::Run() {
    {
        platform::MutexLock lock(mutex_);
        ioThreadId_ = std::this_thread::get_id();
    }
    if (!Connect()) {
        DeliverEvent(kSessionCreateFailed);
        return;
    }
    if (DeliverEvent(kSessionCreated)) {
        ReadMessages();
    }
}

bool Session::Connect() {
    const platform::IoResult result =
        socket_.Connect(address_.ipv4.c_str(), address_.port, kConnectTimeoutMs, &wakeup_);
    platform::MutexLock lock(mutex_);
    connected_ = result == platform::IoResult::kOk && !stopping_;
    return connected_;
}

void Session::ReadMessages() {
    for (;;) {
        bool peerClosed = false;
        std::unique_ptr<SessionEvent> event = ReadMessage(&peerClosed);
        if (event == nullptr) {
            EndConnection(peerClosed);
            return;
        }
        if (!IsConnected()) {
            // A send broke the connection. The shut-down socket may still hold what the host
            // sent before: it is not handled.
            EndConnection(false);
            return;
        }
        if (!Deliver(std::move(event))) {
            return;
        }
    }
}

// Null when the peer closed, the connection broke, the frame was cut short, or the length
// prefix is over the limit (a protocol violation that ends the session).
std::unique_ptr<SessionEvent> Session::ReadMessage(bool* peerClosed) {
    unsigned char header[4];
    const platform::IoResult read = socket_.ReadExact(header, sizeof(header), kWaitForever);
    if (read != platform::IoResult::kOk) {
        *peerClosed = read == platform::IoResult::kClosed;
        return nullptr;
    }
    const uint32_t length = DecodeFrameLength(header);
    if (length > kMaxSessionPayload) {
        return nullptr;
    }
    std::unique_ptr<SessionEvent> event = SessionEvent::Make(kSessionData, id_, length);
    if (event == nullptr || (length > 0 && socket_.ReadExact(event->data, length, kWaitForever) !=
                                               platform::IoResult::kOk)) {
        return nullptr;
    }
    return event;
}

void Session::EndConnection(bool peerClosed) {
    if (!peerClosed) {
        {
            platform::MutexLock lock(mutex_);
            connected_ = false;
        }
        socket_.Shutdown();
    }
    DeliverEvent(kSessionClosed);
}

bool Session::DeliverEvent(uint32_t type) {
    return Deliver(SessionEvent::Make(type, id_, 0));
}

bool Session::Deliver(std::unique_ptr<SessionEvent> event) {
    if (event == nullptr) {
        return true;  // memory is short: the event is lost, the session goes on
    }
    const uint32_t type = event->type;
    {
        platform::MutexLock lock(mutex_);
        WaitForRoom();
        if (stopping_) {
            return false;
        }
        queuedBytes_ += event->length;
        queue_.push_back(std::move(event));
    }
    params_.callback(params_.notifyId, type, id_, 0, params_.context);
    return true;
}

void Session::WaitForRoom() {
    while (!stopping_ &&
           (queue_.size() >= limits_.maxRecords || queuedBytes_ >= limits_.maxBytes)) {
        roomAvailable_.Wait(mutex_);
    }
}

SessionEventRecord* Session::Fetch() {
    std::unique_ptr<SessionEvent> event;
    {
        platform::MutexLock lock(mutex_);
        if (queue_.empty()) {
            return nullptr;
        }
        event = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= event->length;
    }
    roomAvailable_.NotifyOne();
    return event.release();
}

bool Session::IsConnected() {
    platform::MutexLock lock(mutex_);
    return connected_;
}

HRESULT Session::Send(const char* data, uint32_t length) {
    if (length > kMaxSessionPayload || (data == nullptr && length > 0)) {
        return E_FAIL;
    }
    platform::MutexLock lock(sendMutex_);
    if (!IsConnected()) {
        return E_FAIL;
    }
    if (!WriteFrame(data, length)) {
        BreakConnection();
        return E_FAIL;
    }
    return S_OK;
}

bool Session::WriteFrame(const char* data, uint32_t length) {
    // The prefix goes out with the start of the payload; one time-out covers the whole message.
    unsigned char frame[4 + kSingleWriteBytes];
    EncodeFrameLength(length, frame);
    const uint32_t first = std::min(length, kSingleWriteBytes);
    if (first > 0) {
        std::memcpy(frame + 4, data, first);
    }
    const uint64_t startUs = platform::MonotonicMicros();
    return socket_.SendAll(frame, 4 + first, limits_.sendTimeoutMs) &&
           (first == length || socket_.SendAll(data + first, length - first,
                                               RemainingMs(startUs, limits_.sendTimeoutMs)));
}

void Session::BreakConnection() {
    platform::MutexLock lock(mutex_);
    if (connected_) {
        connected_ = false;
        socket_.Shutdown();
    }
}

void Session::Stop() {
    std::deque<std::unique_ptr<SessionEvent>> dropped;
    {
        platform::MutexLock lock(mutex_);
        stopping_ = true;
        if (connected_) {
            socket_.Shutdown();  // a blocked read returns
        }
        dropped.swap(queue_);
        queuedBytes_ = 0;
    }
    wakeup_.Signal();  // a pending connect returns
    roomAvailable_.NotifyAll();
}

void Session::Join() {
    if (thread_.Joinable() && !IsIoThread()) {
        thread_.Join();
    }
}

bool Session::IsIoThread() {
    platform::MutexLock lock(mutex_);
    return ioThreadId_ == std::this_thread::get_id();
}

}  // namespace framework
