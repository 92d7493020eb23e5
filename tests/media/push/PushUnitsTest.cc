// The push path's pure parts, which the fuzz target push_units also walks: the FLV tag bodies
// the pusher does not send in its own tests (other AAC rates, sliced pictures, metadata without
// room; the fuzz target refuses AVC sequence headers without room or sets), the SPS and PPS
// parsed out of access units, and SRT URLs as hosts write them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/push/FlvTagBody.h"
#include "media/push/H264ParameterSets.h"
#include "media/push/SrtUrl.h"

namespace {

using streammanager::FlvTagBody;
using streammanager::H264ParameterSets;
using streammanager::SrtUrl;
using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

const Bytes kStart4 = {0x00, 0x00, 0x00, 0x01};
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
         {std::pair<Bytes, Bytes>{one, Join({header, {0, 0, 0, 3}, one})},
          {Join({one, kStart4, two, kStart3, three}),
           Join({header, {0, 0, 0, 3}, one, {0, 0, 0, 4}, two, {0, 0, 0, 2}, three})}}) {
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
        {"4-byte start codes", Join({kStart4, sps, kStart4, pps, kStart4, idr}), true, sps, pps},
        {"3-byte start codes", Join({kStart3, sps2, kStart4, pps2, kStart3, idr}), true, sps2,
         pps2},
        {"x264's: delimiter, sets, SEI",
         Join({kStart4, aud, kStart4, sps, kStart4, pps, kStart4, sei, kStart3, idr}), true, sps,
         pps},
        {"SEI between the sets ends the SPS",
         Join({kStart4, sei, kStart4, sps2, kStart4, sei, kStart4, pps2, kStart4, idr}), true, sps2,
         pps2},
        {"no picture", Join({kStart4, aud, kStart4, sei}), false, sps2, pps2},
        {"sets alone, each to the end", Join({kStart4, sps, kStart4, pps}), false, sps, pps},
        {"no start code", idr, false, sps, pps},
        {"too short for a start code", kStart3, false, sps, pps},
        {"sets too long for their buffers",
         Join({kStart4, tooLongSps, kStart4, tooLongPps, kStart4, idr}), true, sps, pps},
        {"sets just fitting", Join({kStart4, longestSps, kStart4, longestPps, kStart4, idr}), true,
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
