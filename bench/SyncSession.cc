#include "bench/SyncSession.h"

#include <random>
#include <vector>

#include "bench/LiveMedia.h"
#include "platform/Clock.h"

namespace bench {

const char* SyncSession::Start(const std::string& key) {
    int32_t video = -1, sound = -1;
    if (!server_.Start() || !session_.Open() ||
        !session_.AddInput(kVideoUser, kTypePicture, &video) ||
        (withSound_ && !session_.AddInput(kVideoUser, kTypeAudio, &sound))) {
        return "no nginx, or StreamCourier did not set up the context";
    }
    feed_ = std::make_unique<SyncFeed>(session_.Port(), withSound_, device_);
    if (!feed_->Open()) {
        return "the channels did not open";
    }
    feed_->Start();
    url_ = server_.Url(key);
    phaseMs_ = RandomPhase();
    const std::vector<int32_t> audio =
        withSound_ ? std::vector<int32_t>{sound} : std::vector<int32_t>{};
    if (!session_.SetOutput({url_}, audio, {{video, 0, 0, kCanvasWidth, kCanvasHeight}}) ||
        !server_.WaitForLog("publish: name='" + key + "'", 10000)) {
        return "SetOutParam failed or nothing was published";
    }
    return nullptr;
}

double SyncSession::RandomPhase() {
    static std::mt19937 random{std::random_device{}()};
    const uint64_t delayUs = std::uniform_int_distribution<uint64_t>(0, 1000000 / kRate)(random);
    SleepUntilMicros(platform::MonotonicMicros() + delayUs);
    return static_cast<double>(delayUs) / 1000.0;
}

}  // namespace bench
