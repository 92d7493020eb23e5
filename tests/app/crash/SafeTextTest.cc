// The handler's text building: hexadecimal and decimal padding, the capacity limit, and UTF-8
// paths turned into the report's UTF-16LE (non-ASCII folders, characters beyond the BMP,
// malformed bytes).
#include "app/crash/SafeText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SafeTextTest, PadsNumbersAndStopsAtCapacity) {
    char buffer[16];
    app::SafeText text(buffer, sizeof(buffer));
    text.AppendHex(0xC0000005, 8).AppendChar(' ').AppendDecimal(7, 2).AppendHex(0x1ABC, 2);
    EXPECT_EQ(std::string(text.Data()), "C0000005 071ABC");
    text.Append("more");
    EXPECT_EQ(text.Length(), sizeof(buffer) - 1);
    EXPECT_EQ(std::string(text.Data()), "C0000005 071ABC");
}

TEST(SafeTextTest, EncodesUtf8AsUtf16Le) {
    const struct {
        const char* utf8;
        std::u16string utf16;
    } cases[] = {
        {"/home/a b/x", u"/home/a b/x"},
        {"/home/J\xC3\xBCrgen", u"/home/J\u00FCrgen"},
        {"/\xE6\x96\x87", u"/\u6587"},
        {"\xF0\x9F\x8E\xA5", u"\U0001F3A5"},
        {"a\xFF"
         "b",
         u"a\uFFFD"
         "b"},
        {"\xC3", u"\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD"},  // a surrogate spelled in UTF-8
    };
    for (const auto& c : cases) {
        uint8_t out[64];
        const size_t written =
            app::EncodeUtf16Le(c.utf8, app::SafeLength(c.utf8), out, sizeof(out));
        std::u16string got;
        for (size_t i = 0; i + 1 < written; i += 2) {
            got.push_back(static_cast<char16_t>(out[i] | out[i + 1] << 8));
        }
        EXPECT_TRUE(got == c.utf16) << c.utf8;
    }
}

}  // namespace
