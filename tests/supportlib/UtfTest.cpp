#include "support/Utf.h"

#include <gtest/gtest.h>

using namespace qb;

namespace {
std::string Utf8Of(char32_t cp) {
    std::string out;
    AppendUtf8(out, cp);
    return out;
}
}  // namespace

TEST(Utf, AppendUtf8EncodesEveryLengthAndReplacesNonCharacters) {
    EXPECT_EQ("A", Utf8Of(0x41));
    EXPECT_EQ("\xC3\xA4", Utf8Of(0xE4));
    EXPECT_EQ("\xE2\x82\xAC", Utf8Of(0x20AC));
    EXPECT_EQ("\xF0\x9F\x98\x80", Utf8Of(0x1F600));
    EXPECT_EQ("\xF4\x8F\xBF\xBF", Utf8Of(0x10FFFF));
    // NUL would cut C strings, surrogates and values past U+10FFFF are no characters.
    for (char32_t bad : {0x0u, 0xD800u, 0xDFFFu, 0x110000u, 0xFFFFFFFFu})
        EXPECT_EQ("\xEF\xBF\xBD", Utf8Of(bad)) << static_cast<std::uint32_t>(bad);
}

TEST(Utf, IsValidUtf8RejectsEveryIllFormedSequence) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
    EXPECT_TRUE(IsValidUtf8(std::string_view("a\0b", 3)));
    for (const char* bad : {"\x80", "\xC3", "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80",
                            "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "\xE2\x82", "a\xC3(b"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(Utf, Utf16ConversionKeepsPairsAndReplacesBadUnits) {
    EXPECT_EQ(u"a\u00E4\u20AC\U0001F600", ToUtf16("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_EQ(u"x\uFFFDy", ToUtf16("x\xC3y"));
    EXPECT_EQ("a\xC3\xA4\xF0\x9F\x98\x80", ToUtf8(u"a\u00E4\U0001F600"));
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(
        "a\xEF\xBF\xBD"
        "b",
        ToUtf8(lone));
    EXPECT_EQ(std::string("a\0\xE4\0\x3D\xD8\x00\xDE", 8), Utf16Le("a\xC3\xA4\xF0\x9F\x98\x80"));
    EXPECT_EQ("", Utf16Le(""));
}
