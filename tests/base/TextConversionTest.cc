#include "base/TextConversion.h"

#include <gtest/gtest.h>

namespace {

using KESTREL::Utf8ToUtf16;
using KESTREL::Utf8ToWide;
using KESTREL::WideToAnsi;

TEST(TextConversion, RoundTripsThroughUtf8AndNeedsRoomForTheTerminator) {
    const wchar_t* text = L"K\u00e4se \u6771\U0001F600";
    char narrow[64];
    EXPECT_EQ(13u, WideToAnsi(text, narrow, sizeof(narrow)));
    EXPECT_EQ(std::string("K\xC3\xA4se \xE6\x9D\xB1\xF0\x9F\x98\x80"), std::string(narrow));
    wchar_t wide[16];
    EXPECT_EQ(7u, Utf8ToWide(narrow, wide, 16));
    EXPECT_EQ(std::wstring(text), std::wstring(wide));

    EXPECT_EQ(0u, WideToAnsi(L"abcdefg", narrow, 8));  // 7 + terminator = 8
    EXPECT_EQ(6u, WideToAnsi(L"abcdef", narrow, 8));
    EXPECT_EQ(0u, Utf8ToWide("abc", wide, 4));
    EXPECT_EQ(2u, Utf8ToWide("ab", wide, 4));

    char16_t units[16];
    const char* utf8 = "K\xC3\xA4se \xE6\x9D\xB1\xF0\x9F\x98\x80";
    EXPECT_EQ(8u, Utf8ToUtf16(utf8, units, 16));  // the emoji is a surrogate pair
    EXPECT_EQ(std::u16string(u"K\u00e4se \u6771\U0001F600"), std::u16string(units));
    EXPECT_EQ(0u, Utf8ToUtf16(utf8, units, 9));
}

TEST(TextConversion, InvalidInputIsRefused) {
    wchar_t wide[32];
    for (const char* bad : {"\xC3" /* cut at the end */, "\xC0\xAF" /* overlong */,
                            "\xED\xA0\x80" /* surrogate */, "\xFF"}) {
        EXPECT_EQ(0u, Utf8ToWide(bad, wide, 32)) << bad;
    }
    char narrow[32];
    const wchar_t surrogate[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(0u, WideToAnsi(surrogate, narrow, 32));
}

}  // namespace
