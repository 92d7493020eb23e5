#include "media/FlvTagBody.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using streammanager::FlvTagBody;
using Bytes = std::vector<uint8_t>;

Bytes Text(const char* text) {
    return Bytes(text, text + std::char_traits<char>::length(text));
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

TEST(FlvTagBody, MetaDataIsTheAmf0ObjectOf131Bytes) {
    const Bytes expected = Join({
        {0x02, 0x00, 0x0D},
        Text("@setDataFrame"),
        {0x02, 0x00, 0x0A},
        Text("onMetaData"),
        {0x03},
        {0x00, 0x07},
        Text("encoder"),
        {0x02, 0x00, 0x0A},
        Text("SC Courier"),
        {0x00, 0x05},
        Text("width"),
        {0x00, 0x40, 0x94, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x06},
        Text("height"),
        {0x00, 0x40, 0x86, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x09},
        Text("framerate"),
        {0x00, 0x40, 0x39, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x0C},
        Text("videocodecid"),
        {0x00, 0x40, 0x1C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x00, 0x09},
    });
    ASSERT_EQ(131u, expected.size());
    Bytes body(FlvTagBody::kHeaderBufferSize, 0xEE);
    ASSERT_EQ(131u, FlvTagBody::WriteMetaData(1280, 720, 25, body.data(), 1024));
    body.resize(131);
    EXPECT_EQ(expected, body);
    // The keys sit where the table of the wire format puts them.
    EXPECT_EQ(0x05, body[53]);
    EXPECT_EQ(0x06, body[69]);
    EXPECT_EQ(0x09, body[86]);
    EXPECT_EQ(0x0C, body[106]);
    EXPECT_EQ(0u, FlvTagBody::WriteMetaData(1280, 720, 25, body.data(), 130));
}

TEST(FlvTagBody, AvcSequenceHeaderCarriesProfileLevelAndBothSets) {
    const Bytes sps = {0x67, 0x64, 0x00, 0x1F, 0xAC, 0xD9};
    const Bytes pps = {0x68, 0xEB, 0xE3, 0xCB};
    const Bytes expected = Join({
        {0x17, 0x00, 0x00, 0x00, 0x00, 0x01, 0x64, 0x00, 0x1F, 0xFF, 0xE1, 0x00, 0x06},
        sps,
        {0x01, 0x00, 0x04},
        pps,
    });
    Bytes body(FlvTagBody::kHeaderBufferSize);
    const uint32_t size =
        FlvTagBody::WriteAvcSequenceHeader(sps.data(), 6, pps.data(), 4, body.data(), 1024);
    ASSERT_EQ(16u + 6u + 4u, size);
    body.resize(size);
    EXPECT_EQ(expected, body);

    // Too short an SPS for its profile bytes, a missing set or too small a buffer: nothing.
    EXPECT_EQ(0u,
              FlvTagBody::WriteAvcSequenceHeader(sps.data(), 3, pps.data(), 4, body.data(), 1024));
    EXPECT_EQ(0u, FlvTagBody::WriteAvcSequenceHeader(sps.data(), 6, nullptr, 4, body.data(), 1024));
    EXPECT_EQ(0u,
              FlvTagBody::WriteAvcSequenceHeader(sps.data(), 6, pps.data(), 4, body.data(), 25));
}

TEST(FlvTagBody, AacSequenceHeaderFollowsTheSampleRate) {
    uint8_t body[4];
    FlvTagBody::WriteAacSequenceHeader(48000, body);
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x11, 0x90}), Bytes(body, body + 4));
    FlvTagBody::WriteAacSequenceHeader(44100, body);
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x12, 0x10}), Bytes(body, body + 4));
    FlvTagBody::WriteAacSequenceHeader(32000, body);
    EXPECT_EQ(Bytes({0xAF, 0x00, 0x00, 0x00}), Bytes(body, body + 4));
}

TEST(FlvTagBody, AudioAndVideoTagHeaders) {
    uint8_t audio[2];
    FlvTagBody::WriteAudioPrefix(audio);
    EXPECT_EQ(Bytes({0xAF, 0x01}), Bytes(audio, audio + 2));

    uint8_t video[9];
    FlvTagBody::WriteVideoPrefix(true, 0x01020304, video);
    EXPECT_EQ(Bytes({0x17, 0x01, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}),
              Bytes(video, video + 9));
    FlvTagBody::WriteVideoPrefix(false, 5, video);
    EXPECT_EQ(Bytes({0x27, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05}),
              Bytes(video, video + 9));
}

}  // namespace
