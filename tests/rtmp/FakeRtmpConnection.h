// A stand-in for the librtmp connection. FakeRtmpConnection is handed to the pusher, which owns
// it; the test keeps the FakeRtmpLink they share, to script failures and to see every message
// that went out. Any thread may use the link; mutex_ guards all of it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "media/IRtmpConnection.h"
#include "platform/Clock.h"

namespace rtmptest {

struct SentMessage {
    uint8_t type = 0;
    uint32_t chunkStream = 0;
    uint32_t timestamp = 0;
    std::vector<uint8_t> body;
    int connection = 0;  // 1 for the first successful connect, 2 for the next, ...
};

class FakeRtmpLink {
  public:
    // The next `count` connect attempts fail.
    void RefuseConnects(int count) {
        std::lock_guard<std::mutex> lock(mutex_);
        refusals_ = count;
    }
    // The send with this number (all sends counted from 0) fails.
    void FailSend(size_t number) {
        std::lock_guard<std::mutex> lock(mutex_);
        failingSend_ = number;
    }
    std::vector<SentMessage> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    bool WaitForMessages(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return messages_.size() >= count; });
    }
    // Monotonic microseconds of every connect attempt.
    std::vector<uint64_t> Attempts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return attempts_;
    }
    bool WaitForAttempts(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return attempts_.size() >= count; });
    }
    bool HandleOpen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return open_;
    }

  private:
    friend class FakeRtmpConnection;

    void SetOpen(bool open) {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = open;
    }
    bool Connect() {
        std::lock_guard<std::mutex> lock(mutex_);
        attempts_.push_back(platform::MonotonicMicros());
        changed_.notify_all();
        if (refusals_ > 0) {
            --refusals_;
            return false;
        }
        ++connections_;
        return true;
    }
    bool Send(const streammanager::RtmpMessage& message) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sends_++ == failingSend_) {
            return false;
        }
        SentMessage sent;
        sent.type = message.type;
        sent.chunkStream = message.chunkStream;
        sent.timestamp = message.timestamp;
        sent.body.assign(message.prefix, message.prefix + message.prefixSize);
        sent.body.insert(sent.body.end(), message.payload, message.payload + message.payloadSize);
        sent.connection = connections_;
        messages_.push_back(sent);
        changed_.notify_all();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SentMessage> messages_;
    std::vector<uint64_t> attempts_;
    int refusals_ = 0;
    int connections_ = 0;
    size_t sends_ = 0;
    size_t failingSend_ = static_cast<size_t>(-1);
    bool open_ = false;
};

class FakeRtmpConnection : public streammanager::IRtmpConnection {
  public:
    explicit FakeRtmpConnection(std::shared_ptr<FakeRtmpLink> link) : link_(std::move(link)) {}
    ~FakeRtmpConnection() override { link_->SetOpen(false); }

    bool Open() override {
        link_->SetOpen(true);
        return true;
    }
    bool SetupUrl(const char* url) override { return std::strstr(url, "://") != nullptr; }
    bool Connect() override { return link_->Connect(); }
    bool ConnectStream() override { return true; }
    bool IsOpen() const override { return link_->HandleOpen(); }
    bool SendPacket(const streammanager::RtmpMessage& message) override {
        return link_->Send(message);
    }
    void Close() override { link_->SetOpen(false); }
    int32_t LastError() const override { return 32; }
    void Abort() override {}

  private:
    std::shared_ptr<FakeRtmpLink> link_;
};

}  // namespace rtmptest
