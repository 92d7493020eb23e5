#include "base/TextConversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using KESTREL::Utf8ToUtf16;

TEST(TextConversion, Utf8ToUtf16NeedsRoomForTheTerminatorAndRefusesInvalidInput) {
    char16_t units[16];
    const char* utf8 = "K\xC3\xA4se \xE6\x9D\xB1\xF0\x9F\x98\x80";
    EXPECT_EQ(8u, Utf8ToUtf16(utf8, units, 10));  // the emoji is a surrogate pair
    EXPECT_EQ(std::u16string(u"K\u00e4se \u6771\U0001F600"), std::u16string(units));
    EXPECT_EQ(0u, Utf8ToUtf16(utf8, units, 9));  // 8 + terminator = 9
    for (const char* bad :
         {"\xC3" /* cut at the end */, "\xC0\xAF" /* overlong */, "\xED\xA0\x80" /* surrogate */,
          "\xF4\x90\x80\x80" /* past U+10FFFF */, "\xFF", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(0u, Utf8ToUtf16(bad, units, 16)) << (bad != nullptr ? bad : "null");
    }
}

}  // namespace
