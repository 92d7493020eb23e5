#include "base/WFlexBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(WFlexBuffer, ReserveSmallerKeepsBlockAndContents) {
    KESTREL::WFlexBuffer buffer;
    ASSERT_TRUE(buffer.SetData("abcdef", 6));
    uint8_t* block = buffer.GetData();
    EXPECT_TRUE(buffer.Reserve(3));
    EXPECT_EQ(block, buffer.GetData());
    EXPECT_EQ(6u, buffer.GetCapacity());
    EXPECT_EQ(0, std::memcmp(buffer.GetData(), "abcdef", 6));
}

TEST(WFlexBuffer, ReserveLargerSetsExactCapacity) {
    KESTREL::WFlexBuffer buffer;
    ASSERT_TRUE(buffer.SetData("abc", 3));
    ASSERT_TRUE(buffer.Reserve(1000));
    EXPECT_EQ(1000u, buffer.GetCapacity());
    // The size is the caller's business: Reserve does not touch it.
    EXPECT_EQ(3u, buffer.GetSize());
}

TEST(WFlexBuffer, ZeroBytesIsAnEmptySuccess) {
    KESTREL::WFlexBuffer buffer;
    EXPECT_TRUE(buffer.Reserve(0));
    EXPECT_EQ(nullptr, buffer.GetBuffer(0));
    EXPECT_TRUE(buffer.SetData(nullptr, 0));
    EXPECT_EQ(0u, buffer.GetSize());
}

TEST(WFlexBuffer, SetDataGrowsOnlyWhenNeeded) {
    KESTREL::WFlexBuffer buffer;
    ASSERT_NE(nullptr, buffer.GetBuffer(16));
    uint8_t* block = buffer.GetData();
    ASSERT_TRUE(buffer.SetData("0123456789", 10));
    EXPECT_EQ(block, buffer.GetData());
    ASSERT_TRUE(buffer.SetData("0123456789abcdefXYZ", 19));
    EXPECT_EQ(19u, buffer.GetCapacity());
    EXPECT_EQ(0, std::memcmp(buffer.GetData(), "0123456789abcdefXYZ", 19));
}

TEST(WFlexBuffer, SetSizeDoesNotCheckCapacity) {
    KESTREL::WFlexBuffer buffer;
    EXPECT_EQ(50u, buffer.SetSize(50));
    EXPECT_EQ(0u, buffer.GetCapacity());
}

}  // namespace
