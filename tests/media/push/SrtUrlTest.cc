// SRT URLs as hosts write them: the options a caller takes, and the refusals.
#include "media/push/SrtUrl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using streammanager::SrtUrl;

TEST(SrtUrl, TakesTheCallersOptionsAndRefusesTheRest) {
    struct Row {
        std::string url;
        const char* refusal;  // null: taken
        SrtUrl expected;
    };
    const std::string longId(SrtUrl::kMaxStreamIdLength + 1, 'x');
    const Row rows[] = {
        {"srt://ingest.example:9000", nullptr, {"ingest.example", 9000}},
        {"SRT://10.0.0.1:9000/", nullptr, {"10.0.0.1", 9000}},
        {"srt://[::1]:9000?latency=120&mode=caller", nullptr, {"::1", 9000, 120}},
        {"srt://h:1?streamid=%23!::r=live/k,m=publish&passphrase=ten%20chars!&pbkeylen=32&",
         nullptr,
         {"h", 1, -1, "#!::r=live/k,m=publish", "ten chars!", 32}},
        {"rtmp://h:1/live/k", "not an SRT URL", {}},
        {"srt://h", "no port", {}},
        {"srt://:9000", "no host", {}},
        {"srt://h:0", "bad port", {}},
        {"srt://h:65536", "bad port", {}},
        {"srt://h:9x", "bad port", {}},
        {"srt://h:1/path", "malformed host", {}},
        {"srt://user@h:1", "malformed host", {}},
        {"srt://[::1:9000", "malformed host", {}},
        {"srt://h:1?mode=listener", "only mode=caller is supported", {}},
        {"srt://h:1?mode=rendezvous", "only mode=caller is supported", {}},
        {"srt://h:1?latency=-5", "bad latency", {}},
        {"srt://h:1?latency=99999999", "bad latency", {}},
        {"srt://h:1?pbkeylen=20", "pbkeylen not 16, 24 or 32", {}},
        {"srt://h:1?passphrase=short", "passphrase not 10 to 79 characters", {}},
        {"srt://h:1?streamid=" + longId, "stream id too long", {}},
        {"srt://h:1?streamid=%zz", "malformed option", {}},
        {"srt://h:1?streamid=a%00b", "malformed option", {}},
        {"srt://h:1?latency", "malformed option", {}},
        {"srt://h:1?maxbw=100", "unknown option", {}},
    };
    for (const Row& row : rows) {
        SrtUrl url;
        const char* refusal = SrtUrl::Parse(row.url, &url);
        EXPECT_STREQ(row.refusal, refusal) << row.url;
        if (row.refusal == nullptr) {
            EXPECT_EQ(row.expected.host, url.host) << row.url;
            EXPECT_EQ(row.expected.port, url.port) << row.url;
            EXPECT_EQ(row.expected.latencyMs, url.latencyMs) << row.url;
            EXPECT_EQ(row.expected.streamId, url.streamId) << row.url;
            EXPECT_EQ(row.expected.passphrase, url.passphrase) << row.url;
            EXPECT_EQ(row.expected.keyLength, url.keyLength) << row.url;
        }
    }
    EXPECT_EQ("srt://h:1?streamid=a&passphrase=***&pbkeylen=16",
              SrtUrl::WithoutSecret("srt://h:1?streamid=a&passphrase=secret1234&pbkeylen=16"));
}

}  // namespace
