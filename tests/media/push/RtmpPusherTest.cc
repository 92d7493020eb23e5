// The pusher against a recording fake of the RTMP connection, with the reconnect pause
// injected: the messages as they leave, byte for byte, and their timestamps from media times,
// through the order rules, reconnects, new metadata, drops and the stop; the refusals and the
// cache's bound, and the fuzz corpus's units through a real push thread. Then the push path's
// pure parts, which the fuzz target push_units also walks: the FLV tag bodies the pusher does
// not send above (other AAC rates, sliced pictures, metadata without room; the fuzz target
// refuses AVC sequence headers without room or sets), the SPS and PPS parsed out of access
// units, and SRT URLs as hosts write them.
#include "media/push/RtmpPusher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/memory/MemoryAllocator.h"
#include "interfaces/QXTypes.h"
#include "media/push/FlvTagBody.h"
#include "media/push/H264ParameterSets.h"
#include "media/push/IRtmpConnection.h"
#include "media/push/SrtUrl.h"
#include "tests/fakes/Journal.h"

namespace {

using streammanager::FlvTagBody;
using streammanager::H264ParameterSets;
using streammanager::RtmpPusher;
using streammanager::SrtUrl;
using Bytes = std::vector<uint8_t>;

const char kUrl[] = "rtmp://127.0.0.1:1935/live/test";

// One message as it left: type, chunk stream, timestamp, body.
using Message = std::tuple<int, uint32_t, uint32_t, Bytes>;

// The fake connection's record and script, shared by the push thread and the test.
struct Link {
    std::vector<Message> sent;
    int attempts = 0;  // connects tried
    int refusals = 0;  // the next connect attempts that fail
    int connections = 0;
    size_t sends = 0;
    size_t failingSend = SIZE_MAX;  // the send with this number (counted from 0) fails
    bool open = false;
    bool holdSends = false;  // sends block until this is cleared
    bool held = false;       // a send is blocked by holdSends (for the journal's wait at most)
    int64_t queued = 0;      // what the socket has not had acknowledged
};
using LinkJournal = fakes::Journal<Link>;

// A recording connection with scripted failures; the pusher owns it, the test the journal.
class FakeConnection : public streammanager::IRtmpConnection {
  public:
    explicit FakeConnection(LinkJournal* link) : link_(link) {}
    bool Open() override { return SetOpen(true); }
    bool SetupUrl(const char* url) override { return std::strstr(url, "://") != nullptr; }
    bool Connect() override {
        bool refused = false;
        link_->Note([&](Link& l) {
            ++l.attempts;
            refused = l.refusals > 0;
            l.refusals -= refused ? 1 : 0;
            l.connections += refused ? 0 : 1;
        });
        return !refused;
    }
    bool ConnectStream() override { return true; }
    bool IsOpen() const override { return link_->Read().open; }
    bool SendPacket(const streammanager::RtmpMessage& m) override {
        if (link_->Read().holdSends) {  // as a CDN that stops reading
            link_->Note([](Link& l) { l.held = true; });
            link_->WaitFor([](const Link& l) { return !l.holdSends; });
        }
        Bytes body(m.prefix, m.prefix + m.prefixSize);
        body.insert(body.end(), m.payload, m.payload + m.payloadSize);
        bool failed = false;
        link_->Note([&](Link& l) {
            failed = l.sends++ == l.failingSend;
            if (!failed) {
                l.sent.emplace_back(m.type, m.chunkStream, m.timestamp, body);
            }
        });
        return !failed;
    }
    void Close() override { SetOpen(false); }
    int32_t LastError() const override { return 32; }
    int64_t QueuedBytes() override { return link_->Read().queued; }
    void Abort() override {}

  private:
    bool SetOpen(bool open) {
        link_->Note([&](Link& l) { l.open = open; });
        return true;
    }
    LinkJournal* const link_;
};

Bytes operator+(Bytes joined, const Bytes& more) {
    joined.insert(joined.end(), more.begin(), more.end());
    return joined;
}

const Bytes kStart = {0x00, 0x00, 0x00, 0x01};
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00, 0x33};
const Bytes kSlice = {0x41, 0x9A, 0x02};
const Bytes kAdts = {0xFF, 0xF1, 0x4C, 0x80, 0x01, 0x5F, 0xFC};
const Bytes kAac = {0x21, 0x10, 0x05};
const Bytes kKeyUnit = kStart + Bytes{0x09, 0xF0} + kStart + kSps + kStart + kPps + kStart + kIdr;
const Bytes kDeltaUnit = kStart + kSlice;
const Bytes kAudioFrame = kAdts + kAac;
const streammanager::StreamMetaData kMeta = {640, 360, 15};
const streammanager::StreamMetaData kNewMeta = {1280, 720, 30, 2500, true, 128, 48000, 16, true};

// The bodies as they must leave, byte for byte. onMetaData: AMF0 strings (0x02, a 16-bit
// length, the text), then an object of keys (a 16-bit length, the text) and values (a number
// is 0x00 and the big-endian double, a boolean 0x01 and one byte), ended by 0x00 0x00 0x09.
Bytes Text(const std::string& text) {
    return Bytes{0x00, static_cast<uint8_t>(text.size())} + Bytes(text.begin(), text.end());
}
Bytes Number(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    Bytes bytes = {0x00};
    for (int shift = 56; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
    return bytes;
}
// kMeta, or with `sound` kNewMeta.
Message MetaData(bool sound) {
    const Bytes string = {0x02};
    const streammanager::StreamMetaData& meta = sound ? kNewMeta : kMeta;
    Bytes body = string + Text("@setDataFrame") + string + Text("onMetaData") + Bytes{0x03} +
                 Text("encoder") + string + Text("SC Courier") + Text("width") +
                 Number(meta.width) + Text("height") + Number(meta.height) + Text("framerate") +
                 Number(meta.frameRate) + Text("videocodecid") + Number(7) + Text("videodatarate") +
                 Number(meta.videoKbps);
    if (sound) {
        body = body + Text("audiodatarate") + Number(128) + Text("audiocodecid") + Number(10) +
               Text("audiosamplerate") + Number(48000) + Text("audiosamplesize") + Number(16) +
               Text("stereo") + Bytes{0x01, 0x01};
    }
    return {18, 4, 0, body + Bytes{0x00, 0x00, 0x09}};
}
// The message a code of a row's `out` stands for: D (kMeta) or E (kNewMeta) onMetaData; and
// with a timestamp H the AVC sequence header (key frame and sequence header, then the
// AVCDecoderConfigurationRecord: version, profile, compatibility and level from the SPS, 4-byte
// lengths, one SPS and one PPS with their lengths), K a key frame, V a delta frame (frame type
// and codec, NAL unit marker, composition time 0, the NAL's length, the NAL), C the AAC
// sequence header, A an audio frame.
Message Expected(const std::string& code) {
    const uint32_t ts = code.size() > 1 ? static_cast<uint32_t>(std::stoul(code.substr(1))) : 0;
    const Bytes& nal = code[0] == 'K' ? kIdr : kSlice;
    const uint8_t flvKey = code[0] == 'K' ? 0x17 : 0x27;
    switch (code[0]) {
        case 'D':
        case 'E':
            return MetaData(code[0] == 'E');
        case 'H':
            return {9, 4, ts,
                    Bytes{0x17, 0, 0, 0, 0, 0x01, 0x42, 0xC0, 0x1E, 0xFF, 0xE1, 0x00, 0x07} + kSps +
                        Bytes{0x01, 0x00, 0x04} + kPps};
        case 'K':
        case 'V':
            return {9, 4, ts,
                    Bytes{flvKey, 1, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(nal.size())} + nal};
        case 'C':
            return {8, 5, ts, {0xAF, 0x00, 0x11, 0x90}};
        default:
            return {8, 5, ts, Bytes{0xAF, 0x01} + kAac};
    }
}
std::vector<Message> Messages(const std::vector<std::string>& codes) {
    std::vector<Message> messages(codes.size());
    std::transform(codes.begin(), codes.end(), messages.begin(), Expected);
    return messages;
}

class RtmpPusherTest : public ::testing::Test {
  protected:
    // Initialised as the output does it; with `video`, the video status and metadata are set;
    // with `start`, its thread started.
    std::unique_ptr<RtmpPusher> MakePusher(LinkJournal* link, bool video,
                                           uint32_t firstTimestampMs = 0, bool start = false) {
        RtmpPusher::Options options;
        options.connection = std::make_unique<FakeConnection>(link);
        options.retryDelayMs = 1;
        options.firstTimestampMs = firstTimestampMs;
        auto pusher = std::make_unique<RtmpPusher>(allocator_, std::move(options));
        EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 10001));
        if (video) {
            pusher->SetVideoStatus(1);
            pusher->SetMetaData(kMeta);
        }
        EXPECT_TRUE(!start || pusher->StartThread(true));
        return pusher;
    }
    // ADTS frames (0xFF first) as audio, the rest as video, captured at `mediaMs`.
    static void Cache(RtmpPusher* pusher, uint64_t mediaMs, const Bytes& unit, uint32_t key = 0) {
        ASSERT_EQ(0,
                  pusher->CachePushData(unit[0] == 0xFF ? 1 : 2, static_cast<int32_t>(unit.size()),
                                        unit.data(), key, mediaMs));
    }
    static bool WaitSent(LinkJournal* link, size_t count) {
        return link->WaitFor([&](const Link& l) { return l.sent.size() >= count; });
    }

    void TearDown() override { allocator_->Release(); }

    // Buffers a pusher keeps past its stop, or never releases, are leaks for LeakSanitizer.
    IMemoryAllocator* const allocator_ = new framework::MemoryAllocator();
};

// Media times in, messages out. Each row caches its units before the pusher connects (so the
// order they leave in is the cache's), or after it sent what came before ('|').
//   In: a<ms> audio frame, k<ms> key frame with sets, d<ms> delta frame, i<ms> a key picture
//   without start code (sent whole), s<ms> a key picture after a start code but no sets;
//   m the same metadata again, M new metadata (kNewMeta); F the next send fails and the next
//   two connects are refused, R wait for the reconnect that follows, X every connect is
//   refused; Q<bytes> the socket holds that many bytes unacknowledged; | send what is cached so
//   far. Then the pusher stops (twice) and releases its cache and connection.
//   Out: the codes of Expected, each message byte for byte; | where the in's | waits for what
//   comes before it to have left.
struct TimelineRow {
    const char* name;
    std::vector<std::string> in;
    std::vector<std::string> out;
    bool video = true;
    uint32_t firstTimestampMs = 0;
};

TEST_F(RtmpPusherTest, MessagesLeaveInMediaOrderStampedFromTheOriginWithTheirHeaders) {
    const TimelineRow rows[] = {
        {"sound waits for a key frame with sets, which brings metadata and headers; the first "
         "unit sent is the origin; the same metadata changes nothing, new metadata restarts the "
         "picture at the next key frame and sound waits for it",
         {"a1000", "a1021", "i1030", "s1035", "k1040", "a1064", "d1080", "a1085", "|", "m", "a1090",
          "|", "M", "a1100", "d1120", "k1160", "a1170"},
         {"K0", "K5", "D", "H10", "K10", "C34", "A34", "V50", "A55", "|", "A60", "|", "V90", "E",
          "H130", "K130", "A140"}},
        {"without video the first audio frame brings the AAC header",
         {"a7000", "a7021"},
         {"C0", "A0", "A21"},
         false},
        {"each kind only grows: a late unit keeps the last timestamp of its kind",
         {"k5000", "a5021", "|", "a5010", "|", "d5040", "|", "d5030", "|", "a5042"},
         {"D", "H0", "K0", "C21", "A21", "|", "A21", "|", "V40", "|", "V40", "|", "A42"}},
        {"units cached together leave in media order",
         {"k1000", "d1033", "d1066", "a1011", "a1032", "a1053", "a1075"},
         {"D", "H0", "K0", "C11", "A11", "A32", "V33", "A53", "V66", "A75"}},
        {"a failed send reconnects, past refusals, and starts over with every header; the origin "
         "stays and sound waits for a key frame again",
         {"k1000", "a1010", "|", "F", "d1040", "R", "a1500", "k1520", "a1530"},
         {"D", "H0", "K0", "C10", "A10", "|", "D", "H520", "K520", "C530", "A530"}},
        {"over the drop threshold (the socket's unacknowledged units count), video is dropped up "
         "to the next key frame; sound never",
         {"Q1000000", "k1000", "a1010", "d1033", "|", "d1800", "a1810", "|", "Q0", "k1900",
          "a1920"},
         {"D", "H0", "K0", "C10", "A10", "V33", "|", "A810", "|", "K900", "A920"}},
        {"timestamps pass 2^24 ms and wrap at 2^32 ms",
         {"k1000", "d1040", "d1080"},
         {"D", "H4294967276", "K4294967276", "V20", "V60"},
         true,
         4294967276u},
        {"", {"k1000", "d1040"}, {"D", "H16777200", "K16777200", "V16777240"}, true, 16777200u},
        {"units waiting for a connection that never comes go at the stop", {"X", "k0", "a10"}, {}},
    };
    for (const TimelineRow& row : rows) {
        LinkJournal link;
        std::unique_ptr<RtmpPusher> pusher = MakePusher(&link, row.video, row.firstTimestampMs);
        std::vector<std::string> codes;  // `out` without its |
        std::vector<size_t> waits;       // how many have left at each |
        for (const std::string& code : row.out) {
            if (code == "|") {
                waits.push_back(codes.size());
            } else {
                codes.push_back(code);
            }
        }
        size_t bars = 0;
        for (const std::string& step : row.in) {
            const uint64_t ms = step.size() > 1 ? std::stoull(step.substr(1)) : 0;
            if (step == "|") {
                ASSERT_TRUE(pusher->IsRunning() || pusher->StartThread(true));
                ASSERT_TRUE(WaitSent(&link, waits.at(bars++))) << row.name;
            } else if (step == "R") {
                ASSERT_TRUE(link.WaitFor([](const Link& l) { return l.connections == 2; }))
                    << row.name;
                EXPECT_EQ(4, link.Read().attempts) << row.name;
            } else if (step == "F") {
                link.Note([](Link& l) {
                    l.failingSend = l.sends;
                    l.refusals = 2;
                });
            } else if (step == "X") {
                link.Note([](Link& l) { l.refusals = INT32_MAX; });
            } else if (step == "m" || step == "M") {
                pusher->SetMetaData(step == "M" ? kNewMeta : kMeta);
            } else if (step[0] == 'Q') {
                link.Note([&](Link& l) { l.queued = static_cast<int64_t>(ms); });
            } else {
                const char kind = step[0];
                Cache(pusher.get(), ms,
                      kind == 'a'   ? kAudioFrame
                      : kind == 'k' ? kKeyUnit
                      : kind == 'd' ? kDeltaUnit
                      : kind == 'i' ? kIdr
                                    : kStart + kIdr,
                      kind == 'k' || kind == 'i' || kind == 's' ? 1 : 0);
            }
        }
        ASSERT_TRUE(pusher->IsRunning() || pusher->StartThread(true));
        ASSERT_TRUE(WaitSent(&link, codes.size())) << row.name;
        ASSERT_TRUE(link.WaitFor([](const Link& l) { return l.attempts > 0; })) << row.name;
        pusher->StopRtmpThread();
        pusher->StopRtmpThread();  // again: nothing left to release
        EXPECT_EQ(RtmpPusher::kStateReleased, pusher->GetState()) << row.name;
        EXPECT_EQ(0u, pusher->GetCachedCount()) << row.name;
        EXPECT_FALSE(link.Read().open) << row.name;
        EXPECT_EQ(Messages(codes), link.Read().sent) << row.name;
    }
}

// Caching never waits for the pusher's own connection, and a stuck pusher holds up no other.
TEST_F(RtmpPusherTest, APusherStuckInASendDelaysNeitherCachingIntoItNorAnotherPusher) {
    LinkJournal stuckLink, otherLink;
    std::unique_ptr<RtmpPusher> stuck = MakePusher(&stuckLink, false, 0, true);
    stuckLink.Note([](Link& l) { l.holdSends = true; });
    Cache(stuck.get(), 0, kAudioFrame);
    ASSERT_TRUE(stuckLink.WaitFor([](const Link& l) { return l.held; }));

    std::unique_ptr<RtmpPusher> other = MakePusher(&otherLink, false, 0, true);
    for (uint32_t tick = 0; tick < 63; tick += 21) {
        Cache(stuck.get(), tick, kAudioFrame);
        Cache(other.get(), tick, kAudioFrame);
    }
    ASSERT_TRUE(WaitSent(&otherLink, 4));
    EXPECT_EQ(Messages({"C0", "A0", "A21", "A42"}), otherLink.Read().sent);
    EXPECT_TRUE(stuckLink.Read().sent.empty());  // still stuck meanwhile
    stuckLink.Note([](Link& l) { l.holdSends = false; });
    ASSERT_TRUE(WaitSent(&stuckLink, 5));
    EXPECT_EQ(Messages({"C0", "A0", "A0", "A21", "A42"}), stuckLink.Read().sent);
}

TEST_F(RtmpPusherTest, BadUrlsAndUnitsAreRefusedAndTheCacheHasABoundAndGoesAtTheStop) {
    LinkJournal link;
    RtmpPusher::Options options;
    options.connection = std::make_unique<FakeConnection>(&link);
    auto pusher = std::make_unique<RtmpPusher>(allocator_, std::move(options));  // no thread
    const std::string tooLong = "rtmp://host/live/" + std::string(RtmpPusher::kMaxUrlLength, 'k');
    for (const char* url : {static_cast<const char*>(nullptr), tooLong.c_str()}) {
        EXPECT_EQ(E_FAIL, pusher->InitRtmpPusher(url, 1));
        EXPECT_EQ(RtmpPusher::kStateCreated, pusher->GetState());
    }
    const std::string longest = tooLong.substr(0, RtmpPusher::kMaxUrlLength);
    EXPECT_EQ(0, pusher->InitRtmpPusher(longest.c_str(), 7));
    EXPECT_EQ(RtmpPusher::kStateInitialised, pusher->GetState());
    EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 8));  // the first URL stays
    EXPECT_EQ(longest, pusher->GetCdnUrl());

    const uint8_t unit[16] = {};
    for (size_t i = 0; i < 7500; ++i) {
        ASSERT_EQ(0, pusher->CachePushData(2, sizeof(unit), unit, 0, i)) << i;
    }
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0, 7500));
    EXPECT_EQ(7500u, pusher->GetCachedCount());
    pusher->StopRtmpThread();  // never started: the cache goes all the same
    EXPECT_EQ(RtmpPusher::kStateReleased, pusher->GetState());
    // An unknown kind, an empty unit, an audio frame no longer than its ADTS header, and a unit
    // without a buffer (as when the allocator has run dry).
    EXPECT_EQ(E_FAIL, pusher->CachePushData(3, sizeof(unit), unit, 0, 0));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, 0, unit, 0, 0));
    EXPECT_EQ(E_FAIL,
              pusher->CachePushData(1, static_cast<int32_t>(kAdts.size()), kAdts.data(), 0, 0));
    RtmpPusher noAllocator(nullptr);
    EXPECT_EQ(E_FAIL, noAllocator.CachePushData(1, sizeof(unit), unit, 0, 0));
    EXPECT_EQ(0u, pusher->GetCachedCount() + noAllocator.GetCachedCount());
}

// The fuzz target's corpus (tests/fuzz/push_units.cc tells its format) through a real push
// thread: every unit is sent or refused and nothing is read out of bounds (under ASan). A key
// frame after the last unit shows when all before it has left.
TEST_F(RtmpPusherTest, TheFuzzCorpusPassesThroughAPushThread) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SC_PUSH_CORPUS)) {
        SCOPED_TRACE(entry.path().string());
        std::ifstream file(entry.path(), std::ios::binary);
        const Bytes data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(data.empty());
        LinkJournal link;
        std::unique_ptr<RtmpPusher> pusher = MakePusher(&link, (data[0] & 1) != 0, 0, true);
        size_t at = 1;
        while (data.size() - at >= 3) {
            const uint8_t kind = data[at];
            const size_t taken =
                std::min<size_t>(data[at + 1] | (data[at + 2] << 8), data.size() - at - 3);
            at += 3 + taken;
            if (kind & 4) {
                pusher->SetMetaData({640 + static_cast<int32_t>(at), 360, 30});
            }
            if ((kind & 8) == 0) {  // not an SRT URL
                pusher->CachePushData(kind & 1 ? 2 : 1, static_cast<int32_t>(taken),
                                      data.data() + at - taken, (kind >> 1) & 1, at);
            }
        }
        Cache(pusher.get(), data.size() + 1, kKeyUnit, 1);
        EXPECT_TRUE(link.WaitFor([](const Link& l) {
            return !l.sent.empty() && std::get<0>(l.sent.back()) == 9 &&
                   std::get<3>(l.sent.back()).back() == kIdr.back();
        }));
        pusher->StopRtmpThread();
        EXPECT_EQ(0u, pusher->GetCachedCount());
        ++files;
    }
    EXPECT_GE(files, 5u);
}

const Bytes kStart3 = {0x00, 0x00, 0x01};

TEST(FlvTagBody, OtherAacRatesAndNoMetaDataWithoutRoom) {
    uint8_t out[64];
    FlvTagBody::WriteAacSequenceHeader(44100, out);
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x12, 0x10}), Bytes(out, out + 4));
    FlvTagBody::WriteAacSequenceHeader(32000, out);  // no other rate is known
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x00, 0x00}), Bytes(out, out + 4));
    EXPECT_EQ(0u, FlvTagBody::WriteMetaData({1280, 720, 25}, out, sizeof(out)));
}

// A picture in slices (a sliced encoder's) leaves as one NAL unit after another, each with its
// length instead of its start code (the zero before a 4-byte one included).
TEST(FlvTagBody, EachSliceOfAPictureGoesWithItsLength) {
    const Bytes one = {0x65, 0x88, 0x80}, two = {0x65, 0x11, 0x22, 0x33}, three = {0x65, 0x44};
    const Bytes header = {0x17, 0x01, 0, 0, 0};
    for (const auto& [picture, body] :
         {std::pair<Bytes, Bytes>{one, header + Bytes{0, 0, 0, 3} + one},
          {one + kStart + two + kStart3 + three, header + Bytes{0, 0, 0, 3} + one +
                                                     Bytes{0, 0, 0, 4} + two + Bytes{0, 0, 0, 2} +
                                                     three}}) {
        Bytes written;
        FlvTagBody::WriteVideoBody(true, picture.data(), static_cast<uint32_t>(picture.size()),
                                   &written);
        EXPECT_EQ(body, written);
    }
}

// Each row is parsed by the same parser, which keeps the sets it saw before.
TEST(ParseParameterSets, ThePictureFollowsTheSetsAndOnlyWholeSetsThatFitAreKept) {
    const Bytes aud = {0x09, 0xF0}, sei = {0x06, 0x05, 0x02, 0xAA, 0xBB, 0x80};
    const Bytes sps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xBF},
                pps = {0x68, 0xCE, 0x3C, 0x80};
    const Bytes idr = {0x65, 0x88, 0x84, 0x00, 0x33, 0xFF};
    const Bytes sps2 = {0x67, 0x4D, 0x40, 0x1F, 0x01}, pps2 = {0x68, 0xEE};
    Bytes longestSps = sps, longestPps = pps;
    longestSps.resize(H264ParameterSets::kMaxSpsLength, 0x5A);
    longestPps.resize(H264ParameterSets::kMaxPpsLength, 0x5A);
    Bytes tooLongSps = longestSps, tooLongPps = longestPps;
    tooLongSps.push_back(0x5A);
    tooLongPps.push_back(0x5A);
    struct Row {
        const char* name;
        Bytes unit;
        bool picture;    // the unit ends with `idr`
        Bytes sps, pps;  // kept afterwards
    };
    const Row rows[] = {
        {"4-byte start codes", kStart + sps + kStart + pps + kStart + idr, true, sps, pps},
        {"3-byte start codes", kStart3 + sps2 + kStart + pps2 + kStart3 + idr, true, sps2, pps2},
        {"x264's: delimiter, sets, SEI",
         kStart + aud + kStart + sps + kStart + pps + kStart + sei + kStart3 + idr, true, sps, pps},
        {"SEI between the sets ends the SPS",
         kStart + sei + kStart + sps2 + kStart + sei + kStart + pps2 + kStart + idr, true, sps2,
         pps2},
        {"no picture", kStart + aud + kStart + sei, false, sps2, pps2},
        {"sets alone, each to the end", kStart + sps + kStart + pps, false, sps, pps},
        {"no start code", idr, false, sps, pps},
        {"too short for a start code", kStart3, false, sps, pps},
        {"sets too long for their buffers",
         kStart + tooLongSps + kStart + tooLongPps + kStart + idr, true, sps, pps},
        {"sets just fitting", kStart + longestSps + kStart + longestPps + kStart + idr, true,
         longestSps, longestPps},
    };
    H264ParameterSets sets;
    for (const Row& row : rows) {
        EXPECT_EQ(static_cast<int32_t>(row.picture ? row.unit.size() - idr.size() : 0),
                  sets.Parse(row.unit.data(), static_cast<int32_t>(row.unit.size())))
            << row.name;
        EXPECT_EQ(row.sps, Bytes(sets.Sps(), sets.Sps() + sets.SpsLength())) << row.name;
        EXPECT_EQ(row.pps, Bytes(sets.Pps(), sets.Pps() + sets.PpsLength())) << row.name;
        EXPECT_TRUE(sets.Complete()) << row.name;
    }
    EXPECT_EQ(0, sets.Parse(nullptr, 10));
    sets.Clear();
    EXPECT_FALSE(sets.Complete());
}

TEST(SrtUrl, TakesTheCallersOptionsAndRefusesTheRest) {
    // What Parse makes of a URL: "host port latency [stream id] [passphrase] key length" when it
    // takes it, else its refusal.
    const auto parse = [](const std::string& text) {
        SrtUrl url;
        const char* refusal = SrtUrl::Parse(text, &url);
        return refusal != nullptr
                   ? std::string(refusal)
                   : url.host + " " + std::to_string(url.port) + " " +
                         std::to_string(url.latencyMs) + " [" + url.streamId + "] [" +
                         url.passphrase + "] " + std::to_string(url.keyLength);
    };
    const std::string longId(SrtUrl::kMaxStreamIdLength + 1, 'x');
    const std::pair<std::string, std::string> rows[] = {
        {"srt://ingest.example:9000", "ingest.example 9000 -1 [] [] 0"},
        {"SRT://10.0.0.1:9000/", "10.0.0.1 9000 -1 [] [] 0"},
        {"srt://[::1]:9000?latency=120&mode=caller", "::1 9000 120 [] [] 0"},
        {"srt://h:1?streamid=%23!::r=live/k,m=publish&passphrase=ten%20chars!&pbkeylen=32&",
         "h 1 -1 [#!::r=live/k,m=publish] [ten chars!] 32"},
        {"rtmp://h:1/live/k", "not an SRT URL"},
        {"srt://h", "no port"},
        {"srt://:9000", "no host"},
        {"srt://h:0", "bad port"},
        {"srt://h:65536", "bad port"},
        {"srt://h:9x", "bad port"},
        {"srt://h:1/path", "malformed host"},
        {"srt://user@h:1", "malformed host"},
        {"srt://[::1:9000", "malformed host"},
        {"srt://h:1?mode=listener", "only mode=caller is supported"},
        {"srt://h:1?mode=rendezvous", "only mode=caller is supported"},
        {"srt://h:1?latency=-5", "bad latency"},
        {"srt://h:1?latency=99999999", "bad latency"},
        {"srt://h:1?pbkeylen=20", "pbkeylen not 16, 24 or 32"},
        {"srt://h:1?passphrase=short", "passphrase not 10 to 79 characters"},
        {"srt://h:1?streamid=" + longId, "stream id too long"},
        {"srt://h:1?streamid=%zz", "malformed option"},
        {"srt://h:1?streamid=a%00b", "malformed option"},
        {"srt://h:1?latency", "malformed option"},
        {"srt://h:1?maxbw=100", "unknown option"},
    };
    for (const auto& [url, expected] : rows) {
        EXPECT_EQ(expected, parse(url)) << url;
    }
    EXPECT_EQ("srt://h:1?streamid=a&passphrase=***&pbkeylen=16",
              SrtUrl::WithoutSecret("srt://h:1?streamid=a&passphrase=secret1234&pbkeylen=16"));
}

}  // namespace
