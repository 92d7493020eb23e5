// StreamCourier's statistics file (written when STREAMCOURIER_STATS_FILE names it, rewritten
// every second): one line per pusher of every context, key=value pairs separated by single
// spaces, such as
//   context=10001 url=rtmp://127.0.0.1:PORT/live/KEY state=streaming bytes=123456 kbps=850
//   backlog_ms=120 dropped=0 reconnects=0 encoder_kbps=1500
// Read takes the file as it is at the call; a missing or unreadable file reads as no pushers.
// Keys it does not know are kept as they are. A value, owned by the thread that read it.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bench {

class PusherStatsFile {
  public:
    using Fields = std::map<std::string, std::string>;

    static PusherStatsFile Read(const std::string& path);
    // Parses the file's text.
    static PusherStatsFile Parse(const std::string& text);

    const std::vector<Fields>& Pushers() const { return pushers_; }
    // The pusher of `url`, or null.
    const Fields* ForUrl(const std::string& url) const;
    // The value of `key` in `pusher` (may be null), or "" when absent.
    static std::string Value(const Fields* pusher, const std::string& key);

  private:
    std::vector<Fields> pushers_;
};

}  // namespace bench
