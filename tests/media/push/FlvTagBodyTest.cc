// The FLV tag bodies' refusals and the AAC rates the pusher does not use, and the SPS and PPS
// parsed out of a key frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/push/FlvTagBody.h"
#include "media/push/H264ParameterSets.h"

namespace {

using streammanager::FlvTagBody;
using streammanager::H264ParameterSets;
using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes joined, const Bytes& more) {
    joined.insert(joined.end(), more.begin(), more.end());
    return joined;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// The bodies as they leave are the pusher's tests, byte for byte; here the rates it does not
// use and the refusals.
TEST(FlvTagBody, OtherAacRatesAndTooShortOrMissingInputsOrRoom) {
    uint8_t out[4];
    FlvTagBody::WriteAacSequenceHeader(44100, out);
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x12, 0x10}), Bytes(out, out + 4));
    FlvTagBody::WriteAacSequenceHeader(32000, out);  // no other rate is known
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x00, 0x00}), Bytes(out, out + 4));

    Bytes body(FlvTagBody::kHeaderBufferSize);
    EXPECT_EQ(0u, FlvTagBody::WriteMetaData({1280, 720, 25}, body.data(), 64));
    const Bytes sps = {0x67, 0x64, 0x00, 0x1F, 0xAC, 0xD9};
    const Bytes pps = {0x68, 0xEB, 0xE3, 0xCB};
    EXPECT_EQ(26u,
              FlvTagBody::WriteAvcSequenceHeader(sps.data(), 6, pps.data(), 4, body.data(), 26));
    // An SPS too short for its profile bytes, a missing set, a buffer one byte short.
    EXPECT_EQ(0u,
              FlvTagBody::WriteAvcSequenceHeader(sps.data(), 3, pps.data(), 4, body.data(), 1024));
    EXPECT_EQ(0u, FlvTagBody::WriteAvcSequenceHeader(sps.data(), 6, nullptr, 4, body.data(), 1024));
    EXPECT_EQ(0u,
              FlvTagBody::WriteAvcSequenceHeader(sps.data(), 6, pps.data(), 4, body.data(), 25));
}

// A picture in slices (a sliced encoder's) leaves as one NAL unit after another, each with its
// length; a picture of one slice as before.
TEST(FlvTagBody, EachSliceOfAPictureGoesWithItsLength) {
    const Bytes one = {0x65, 0x88, 0x80};
    const Bytes two = {0x65, 0x11, 0x22, 0x33};
    const Bytes three = {0x65, 0x44};
    struct Case {
        Bytes picture;
        Bytes body;
    } cases[] = {
        {one, Bytes{0x17, 0x01, 0, 0, 0, 0, 0, 0, 3} + one},
        {one + Bytes{0, 0, 0, 1} + two + Bytes{0, 0, 1} + three,
         Bytes{0x17, 0x01, 0, 0, 0, 0, 0, 0, 3} + one + Bytes{0, 0, 0, 4} + two +
             Bytes{0, 0, 0, 2} + three},
    };
    for (const Case& c : cases) {
        Bytes body;
        FlvTagBody::WriteVideoBody(true, c.picture.data(), static_cast<uint32_t>(c.picture.size()),
                                   &body);
        EXPECT_EQ(c.body, body);
    }
}

const Bytes kStart4 = {0x00, 0x00, 0x00, 0x01};
const Bytes kStart3 = {0x00, 0x00, 0x01};
const Bytes kAud = {0x09, 0xF0};
const Bytes kSei = {0x06, 0x05, 0x02, 0xAA, 0xBB, 0x80};
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xBF};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00, 0x33, 0xFF};

// Parses `unit` and checks the picture offset and the sets kept afterwards.
void ExpectParsed(H264ParameterSets* sets, const Bytes& unit, size_t offset, const Bytes& sps,
                  const Bytes& pps) {
    EXPECT_EQ(static_cast<int32_t>(offset),
              sets->Parse(unit.data(), static_cast<int32_t>(unit.size())));
    EXPECT_EQ(sps, Bytes(sets->Sps(), sets->Sps() + sets->SpsLength()));
    EXPECT_EQ(pps, Bytes(sets->Pps(), sets->Pps() + sets->PpsLength()));
}

TEST(ParseParameterSets, StartCodesDelimitersAndSeiStayOutOfTheSets) {
    const std::vector<Bytes> units = {
        Join({kStart4, kSps, kStart4, kPps, kStart4, kIdr}),
        Join({kStart3, kSps, kStart4, kPps, kStart3, kIdr}),
        // As x264 writes a key frame: delimiter, SPS, PPS, SEI, picture.
        Join({kStart4, kAud, kStart4, kSps, kStart4, kPps, kStart4, kSei, kStart3, kIdr}),
        // SEI first and between the sets: the SPS ends at the SEI, not at the PPS.
        Join({kStart4, kSei, kStart4, kSps, kStart4, kSei, kStart4, kPps, kStart4, kIdr}),
    };
    for (const Bytes& unit : units) {
        H264ParameterSets sets;
        ExpectParsed(&sets, unit, unit.size() - kIdr.size(), kSps, kPps);
        EXPECT_TRUE(sets.Complete());
    }
}

TEST(ParseParameterSets, UnitsWithoutPictureAndOversizeSets) {
    H264ParameterSets sets;
    ExpectParsed(&sets, Join({kStart4, kAud, kStart4, kSei}), 0, {}, {});
    // Parameter sets on their own: each ends where the unit ends.
    ExpectParsed(&sets, Join({kStart4, kSps, kStart4, kPps}), 0, kSps, kPps);
    // No start code at all, and units too short to hold one.
    ExpectParsed(&sets, kIdr, 0, kSps, kPps);
    ExpectParsed(&sets, kStart3, 0, kSps, kPps);
    EXPECT_EQ(0, sets.Parse(nullptr, 10));

    // Sets longer than their buffers keep the previous ones; exactly as long still fits.
    Bytes sps = kSps;
    Bytes pps = kPps;
    sps.resize(H264ParameterSets::kMaxSpsLength + 1, 0x5A);
    pps.resize(H264ParameterSets::kMaxPpsLength + 1, 0x5A);
    Bytes unit = Join({kStart4, sps, kStart4, pps, kStart4, kIdr});
    ExpectParsed(&sets, unit, unit.size() - kIdr.size(), kSps, kPps);
    sps.pop_back();
    pps.pop_back();
    unit = Join({kStart4, sps, kStart4, pps, kStart4, kIdr});
    ExpectParsed(&sets, unit, unit.size() - kIdr.size(), sps, pps);
    sets.Clear();
    EXPECT_FALSE(sets.Complete());
}

}  // namespace
