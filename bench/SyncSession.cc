#include "bench/SyncSession.h"

#include <random>

#include "bench/LiveMedia.h"
#include "platform/Clock.h"

namespace bench {

SyncSession::SyncSession(const SyncSetup& setup)
    : setup_(setup), servers_(setup.servers), session_(setup.environment) {
    for (rtmptest::NginxServer& server : servers_) {
        if (setup_.playPorts) {
            server.EnablePlayPort();
        }
        if (!setup_.publishHost.empty()) {
            server.ListenOnAllAddresses();
        }
    }
}

const char* SyncSession::Start(const std::string& key) {
    for (rtmptest::NginxServer& server : servers_) {
        if (!server.Start()) {
            return "nginx did not start";
        }
        urls_.push_back(setup_.publishHost.empty() ? server.Url(key)
                                                   : server.Url(key, setup_.publishHost));
    }
    int32_t video = -1, sound = -1;
    if (!session_.Open() || !session_.AddInput(kVideoUser, kTypePicture, &video) ||
        (setup_.withSound && !session_.AddInput(kVideoUser, kTypeAudio, &sound))) {
        return "StreamCourier did not set up the context";
    }
    feed_ = std::make_unique<SyncFeed>(session_.Port(), setup_.withSound, setup_.device,
                                       setup_.textured);
    if (!feed_->Open()) {
        return "the channels did not open";
    }
    feed_->Start();
    phaseMs_ = RandomPhase();
    const std::vector<int32_t> audio =
        setup_.withSound ? std::vector<int32_t>{sound} : std::vector<int32_t>{};
    std::vector<std::string> urls = urls_;
    urls.insert(urls.end(), setup_.moreUrls.begin(), setup_.moreUrls.end());
    if (!session_.SetOutput(urls, audio, {{video, 0, 0, kCanvasWidth, kCanvasHeight}})) {
        return "SetOutParam failed";
    }
    for (rtmptest::NginxServer& server : servers_) {
        if (!server.WaitForLog("publish: name='" + key + "'", 10000)) {
            return "nothing was published";
        }
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
