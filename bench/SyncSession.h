// The session GlassToGlass, AvOffset and the congestion benchmarks share: nginx with the RTMP
// module, a StreamCourier with one context and, as user 7, a raw-picture input (type 3) laid
// over the whole 1280x720 canvas and, with sound, a sound input (type 1) listed in the
// AudioInputList; the bench's SyncFeed writing the sync pattern; the output (30 fps, quality 2)
// pushed to nginx's stream `key`. A SyncSetup asks for more: several nginx servers, all pushed
// to, each with a play port; the host name the output gives them; more URLs pushed to beside
// them; textured pictures; variables for StreamCourier's environment.
//
// The pictures and the mixer both run at exactly 30 fps, so a picture's wait for the next
// canvas frame is fixed for a session by when the mixer starts: SetOutParam goes out after a
// random 0 to 33 ms (PhaseMs, counter phase_delay_ms) so that repetitions cover every phase,
// as a camera's drifting clock would. Owned by one thread.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bench/HostSession.h"
#include "bench/SyncFeed.h"
#include "tests/media/push/NginxServer.h"

namespace bench {

struct SyncSetup {
    bool withSound = false;
    SoundDevice device;
    size_t servers = 1;
    bool playPorts = false;  // players read on a port of their own (NginxServer::PlayUrl)
    // The host of nginx's URLs in the output (nginx then listens on every address); empty:
    // the loopback's address.
    std::string publishHost;
    std::vector<std::string> moreUrls;  // pushed to as well, after nginx's
    bool textured = false;              // SyncFeed's textured pictures
    std::vector<std::string> environment;
};

class SyncSession {
  public:
    explicit SyncSession(bool withSound, SoundDevice device = {})
        : SyncSession(Plain(withSound, device)) {}
    explicit SyncSession(const SyncSetup& setup);
    // Starts it all and waits for every nginx to see the publisher. Null when they did, else
    // what failed.
    const char* Start(const std::string& key);
    HostSession& Host() { return session_; }
    SyncFeed& Feed() { return *feed_; }
    // The first server's stream, as the output names it.
    const std::string& Url() const { return urls_.front(); }
    rtmptest::NginxServer& Server(size_t index) { return servers_[index]; }
    double PhaseMs() const { return phaseMs_; }

  private:
    static SyncSetup Plain(bool withSound, SoundDevice device) {
        SyncSetup setup;
        setup.withSound = withSound;
        setup.device = device;
        return setup;
    }
    // Sleeps a random part of a frame interval and returns it (ms).
    static double RandomPhase();

    const SyncSetup setup_;
    // Declared so that the feed stops before the session ends and nginx goes last.
    std::deque<rtmptest::NginxServer> servers_;
    HostSession session_;
    std::unique_ptr<SyncFeed> feed_;
    std::vector<std::string> urls_;
    double phaseMs_ = 0;
};

}  // namespace bench
