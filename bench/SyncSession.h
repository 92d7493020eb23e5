// The session GlassToGlass and AvOffset share: nginx with the RTMP module, a StreamCourier with
// one context and, as user 7, a raw-picture input (type 3) laid over the whole 1280x720 canvas
// and, with sound, a sound input (type 1) listed in the AudioInputList; the bench's SyncFeed
// writing the sync pattern; the output (30 fps, quality 2) pushed to nginx's stream `key`.
//
// The pictures and the mixer both run at exactly 30 fps, so a picture's wait for the next
// canvas frame is fixed for a session by when the mixer starts: SetOutParam goes out after a
// random 0 to 33 ms (PhaseMs, counter phase_delay_ms) so that repetitions cover every phase,
// as a camera's drifting clock would. Owned by one thread.
#pragma once

#include <memory>
#include <string>

#include "bench/HostSession.h"
#include "bench/SyncFeed.h"
#include "tests/media/push/NginxServer.h"

namespace bench {

class SyncSession {
  public:
    explicit SyncSession(bool withSound, SoundDevice device = {})
        : withSound_(withSound), device_(device) {}
    // Starts it all and waits for nginx to see the publisher. Null when it did, else what
    // failed.
    const char* Start(const std::string& key);
    HostSession& Host() { return session_; }
    SyncFeed& Feed() { return *feed_; }
    const std::string& Url() const { return url_; }
    double PhaseMs() const { return phaseMs_; }

  private:
    // Sleeps a random part of a frame interval and returns it (ms).
    static double RandomPhase();

    const bool withSound_;
    const SoundDevice device_;
    // Declared so that the feed stops before the session ends and nginx goes last.
    rtmptest::NginxServer server_;
    HostSession session_;
    std::unique_ptr<SyncFeed> feed_;
    std::string url_;
    double phaseMs_ = 0;
};

}  // namespace bench
