#include "media/H264ParameterSets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using streammanager::H264ParameterSets;
using Bytes = std::vector<uint8_t>;

const Bytes kStart4 = {0x00, 0x00, 0x00, 0x01};
const Bytes kStart3 = {0x00, 0x00, 0x01};
const Bytes kAud = {0x09, 0xF0};
const Bytes kSei = {0x06, 0x05, 0x02, 0xAA, 0xBB, 0x80};
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xBF};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00, 0x33, 0xFF};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

Bytes Sps(const H264ParameterSets& sets) {
    return Bytes(sets.Sps(), sets.Sps() + sets.SpsLength());
}

Bytes Pps(const H264ParameterSets& sets) {
    return Bytes(sets.Pps(), sets.Pps() + sets.PpsLength());
}

int32_t Parse(H264ParameterSets* sets, const Bytes& unit) {
    return sets->Parse(unit.data(), static_cast<int32_t>(unit.size()));
}

TEST(ParseParameterSets, FourByteStartCodesStayOutOfTheSetsAndThePictureOffset) {
    H264ParameterSets sets;
    const Bytes unit = Join({kStart4, kSps, kStart4, kPps, kStart4, kIdr});
    EXPECT_EQ(static_cast<int32_t>(4 + kSps.size() + 4 + kPps.size() + 4), Parse(&sets, unit));
    EXPECT_EQ(kSps, Sps(sets));
    EXPECT_EQ(kPps, Pps(sets));
    EXPECT_TRUE(sets.Complete());
}

TEST(ParseParameterSets, ThreeByteAndMixedStartCodes) {
    H264ParameterSets sets;
    const Bytes unit = Join({kStart3, kSps, kStart4, kPps, kStart3, kIdr});
    EXPECT_EQ(static_cast<int32_t>(3 + kSps.size() + 4 + kPps.size() + 3), Parse(&sets, unit));
    EXPECT_EQ(kSps, Sps(sets));
    EXPECT_EQ(kPps, Pps(sets));
}

TEST(ParseParameterSets, DelimiterAndSeiAroundTheSetsAreSkipped) {
    H264ParameterSets sets;
    // As x264 writes a key frame: delimiter, SPS, PPS, SEI, picture; and SEI before the SPS.
    const Bytes x264Order =
        Join({kStart4, kAud, kStart4, kSps, kStart4, kPps, kStart4, kSei, kStart3, kIdr});
    EXPECT_EQ(static_cast<int32_t>(x264Order.size() - kIdr.size()), Parse(&sets, x264Order));
    EXPECT_EQ(kSps, Sps(sets));
    EXPECT_EQ(kPps, Pps(sets));

    H264ParameterSets other;
    const Bytes seiFirst =
        Join({kStart4, kSei, kStart4, kSps, kStart4, kSei, kStart4, kPps, kStart4, kIdr});
    EXPECT_EQ(static_cast<int32_t>(seiFirst.size() - kIdr.size()), Parse(&other, seiFirst));
    EXPECT_EQ(kSps, Sps(other));  // ends at the SEI, not at the PPS
    EXPECT_EQ(kPps, Pps(other));
}

TEST(ParseParameterSets, UnitWithoutPictureGivesZeroButKeepsItsSets) {
    H264ParameterSets sets;
    EXPECT_EQ(0, Parse(&sets, Join({kStart4, kAud, kStart4, kSei})));
    EXPECT_EQ(0u, sets.SpsLength());
    // Parameter sets on their own: each ends where the unit ends.
    EXPECT_EQ(0, Parse(&sets, Join({kStart4, kSps, kStart4, kPps})));
    EXPECT_EQ(kSps, Sps(sets));
    EXPECT_EQ(kPps, Pps(sets));
    // No start code at all, and units too short to hold one.
    EXPECT_EQ(0, Parse(&sets, kIdr));
    EXPECT_EQ(0, Parse(&sets, Bytes{0x00, 0x00, 0x01}));
    EXPECT_EQ(0, sets.Parse(nullptr, 10));
}

TEST(ParseParameterSets, SetsLongerThanTheirBuffersKeepThePreviousOnes) {
    H264ParameterSets sets;
    Parse(&sets, Join({kStart4, kSps, kStart4, kPps, kStart4, kIdr}));

    Bytes longSps = kSps;
    longSps.resize(H264ParameterSets::kMaxSpsLength + 1, 0x5A);
    Bytes longPps = kPps;
    longPps.resize(H264ParameterSets::kMaxPpsLength + 1, 0x5A);
    EXPECT_GT(Parse(&sets, Join({kStart4, longSps, kStart4, longPps, kStart4, kIdr})), 0);
    EXPECT_EQ(kSps, Sps(sets));
    EXPECT_EQ(kPps, Pps(sets));

    // Exactly as long as the buffers still fits.
    longSps.resize(H264ParameterSets::kMaxSpsLength);
    longPps.resize(H264ParameterSets::kMaxPpsLength);
    Parse(&sets, Join({kStart4, longSps, kStart4, longPps, kStart4, kIdr}));
    EXPECT_EQ(longSps, Sps(sets));
    EXPECT_EQ(longPps, Pps(sets));

    sets.Clear();
    EXPECT_FALSE(sets.Complete());
}

}  // namespace
