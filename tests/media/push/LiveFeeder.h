// Real media for push tests, in time order as the output's encoders deliver it: a 25 fps
// 320x240 picture with a key frame every second (x264) and 48 kHz stereo AAC frames of 1024
// samples with their ADTS headers (the program's own encoder). MediaFeed is used by one thread;
// LiveFeeder feeds a pusher in real time from its own thread until stopped.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/WThread.h"
#include "framework/memory/MemoryAllocator.h"
#include "media/audio/AacEncoder.h"
#include "media/push/RtmpPusher.h"
#include "platform/Clock.h"
#include "tests/media/push/MediaProbe.h"
#include "tests/media/push/TestH264Encoder.h"

namespace rtmptest {

using streammanager::RtmpPusher;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrameRate = 25;

inline uint64_t NowMs() {
    return platform::MonotonicMicros() / 1000u;
}

// The media; the sound is a steady buzz.
class MediaFeed {
  public:
    MediaFeed() {
        streammanager::WaveFormat format;  // only the resampler, unused here, reads it
        audioOpen_ = audio_.Init(&format, nullptr) == 0;
        for (size_t i = 0; i < pcm_.size(); ++i) {
            pcm_[i] = static_cast<uint8_t>(i % 4 == 1 ? (i / 4) % 64 : 0);
        }
    }
    ~MediaFeed() { audio_.Uninit(); }
    bool IsOpen() const { return video_.IsOpen() && audioOpen_; }
    void RequestKeyFrame() { video_.RequestKeyFrame(); }

    // Caches every unit whose media time (from the feed's start) lies below untilMs, captured
    // at `startMs` + that time.
    void CacheUntil(RtmpPusher* pusher, uint32_t untilMs, uint64_t startMs = 0) {
        std::vector<uint8_t> unit;
        for (;;) {
            const uint32_t videoAt = videoCount_ * 1000 / kFrameRate;
            const uint32_t audioAt = static_cast<uint32_t>(uint64_t{audioCount_} * 64 / 3);
            const bool video = videoAt <= audioAt;
            const uint32_t at = video ? videoAt : audioAt;
            if (at >= untilMs) {
                return;
            }
            bool key = false;
            if (video ? video_.Encode(&unit, &key) : EncodeAudio(&unit)) {
                pusher->CachePushData(video ? 2 : 1, static_cast<int32_t>(unit.size()), unit.data(),
                                      key ? 1 : 0, startMs + at);
            }
            ++(video ? videoCount_ : audioCount_);
        }
    }

  private:
    // The next ADTS frame; the coder holds its first frame back, so feed it until one comes.
    bool EncodeAudio(std::vector<uint8_t>* frame) {
        frame->resize(audio_.MaxOutputBytes());
        int32_t length = 0;
        for (int attempt = 0; audioOpen_ && length == 0 && attempt < 4; ++attempt) {
            audio_.EncodeAacData(pcm_.data(), static_cast<uint32_t>(pcm_.size()), frame->data(),
                                 &length);
        }
        frame->resize(static_cast<size_t>(std::max(length, 0)));
        return length > 0;
    }

    rtmptest::TestH264Encoder video_{kWidth, kHeight, kFrameRate, kFrameRate};
    streammanager::AacEncoder audio_;
    std::vector<uint8_t> pcm_ = std::vector<uint8_t>(4096);  // one frame of 48 kHz stereo
    bool audioOpen_ = false;
    uint32_t videoCount_ = 0;
    uint32_t audioCount_ = 0;
};

// Feeds a pusher in real time, from its own thread, until stopped. With `keyWanted`, a key
// frame follows each time it is found set (by the pusher's key-frame request).
class LiveFeeder : public KESTREL::WThread {
  public:
    explicit LiveFeeder(RtmpPusher* pusher, std::atomic<bool>* keyWanted = nullptr)
        : pusher_(pusher), keyWanted_(keyWanted) {}
    ~LiveFeeder() override { StopThread(); }
    int32_t ThreadProcEx() override {
        const uint64_t start = NowMs();
        do {
            if (keyWanted_ != nullptr && keyWanted_->exchange(false)) {
                feed_.RequestKeyFrame();
            }
            feed_.CacheUntil(pusher_, static_cast<uint32_t>(NowMs() - start + 1), start);
        } while (!StopEvent().WaitFor(10));
        return 0;
    }

  private:
    RtmpPusher* pusher_;
    std::atomic<bool>* keyWanted_;
    MediaFeed feed_;
};

// Tests of a pusher fed this media: StartPusher starts one as the output does, with the video
// status and the feed's metadata set.
class PushTest : public ::testing::Test {
  protected:
    void TearDown() override { allocator_->Release(); }
    std::unique_ptr<RtmpPusher> StartPusher(const std::string& url,
                                            RtmpPusher::Options options = {}) {
        auto pusher = std::make_unique<RtmpPusher>(allocator_, std::move(options));
        pusher->InitRtmpPusher(url.c_str(), 1);
        pusher->SetVideoStatus(1);
        streammanager::StreamMetaData meta{kWidth, kHeight, kFrameRate};
        meta.hasAudio = true;
        pusher->SetMetaData(meta);
        EXPECT_TRUE(pusher->StartThread(true));
        return pusher;
    }

    framework::MemoryAllocator* allocator_ = new framework::MemoryAllocator();
};

// The feed as MediaProbe::Summary tells it.
constexpr const char* kFeed = "h264 320x240, aac 48000 Hz 2 ch";

}  // namespace rtmptest
