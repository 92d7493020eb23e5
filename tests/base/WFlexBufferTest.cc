#include "base/WFlexBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(WFlexBuffer, ReserveKeepsASmallerRequestAndDiscardsForALargerOne) {
    KESTREL::WFlexBuffer buffer;
    ASSERT_TRUE(buffer.SetData("abcdef", 6));
    uint8_t* block = buffer.GetData();
    EXPECT_TRUE(buffer.Reserve(3));
    EXPECT_EQ(block, buffer.GetData());
    EXPECT_EQ(0, std::memcmp(buffer.GetData(), "abcdef", 6));
    ASSERT_TRUE(buffer.Reserve(1000));
    EXPECT_EQ(1000u, buffer.GetCapacity());  // exactly what was asked
    EXPECT_EQ(6u, buffer.GetSize());         // the size is the caller's business
    EXPECT_EQ(50u, buffer.SetSize(50));      // not checked against the capacity either
    ASSERT_TRUE(buffer.SetData("0123456789abcdefXYZ", 19));
    EXPECT_EQ(1000u, buffer.GetCapacity());  // fits: no new block
}

TEST(WFlexBuffer, EmptyBufferAndZeroBytes) {
    KESTREL::WFlexBuffer buffer;
    EXPECT_TRUE(buffer.Reserve(0));
    EXPECT_EQ(nullptr, buffer.GetBuffer(0));
    EXPECT_TRUE(buffer.SetData(nullptr, 0));
    EXPECT_EQ(0u, buffer.GetSize());
    ASSERT_TRUE(buffer.SetData("xyz", 3));
    EXPECT_EQ(3u, buffer.GetCapacity());
}

}  // namespace
