// An SRT destination as the host names it: srt://host:port?key=value&... with the options a
// caller may set. Values may be percent-encoded (a stream id's "#!::" as "%23!::"); `latency`
// is in milliseconds, as SRT's own tools take it. Only caller mode is supported. Plain data.
#pragma once

#include <cstdint>
#include <string>

namespace streammanager {

struct SrtUrl {
    static constexpr size_t kMaxStreamIdLength = 512;
    static constexpr size_t kMinPassphraseLength = 10;
    static constexpr size_t kMaxPassphraseLength = 79;
    static constexpr int32_t kMaxLatencyMs = 60000;

    // True for a URL of the srt scheme, well-formed or not.
    static bool IsSrt(const std::string& url);
    // `url` with a passphrase's value hidden, for log lines (any URL; others come back whole).
    static std::string WithoutSecret(const std::string& url);
    // Fills `out` from `url`. Null when it is usable, else why not (for the log).
    static const char* Parse(const std::string& url, SrtUrl* out);

    std::string host;  // a name, an IPv4 address or a bracketed IPv6 one's inside
    int32_t port = 0;
    int32_t latencyMs = -1;  // -1: SRT's default
    std::string streamId;
    std::string passphrase;  // empty: no encryption
    int32_t keyLength = 0;   // bytes (16, 24 or 32); 0: SRT's default
};

}  // namespace streammanager
