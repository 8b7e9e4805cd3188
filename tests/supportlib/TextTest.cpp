#include "support/Text.h"

#include <gtest/gtest.h>

#include "support/Numbers.h"

using namespace qb;

TEST(Text, TrimDropsControlBytesAndSpacesOnly) {
    EXPECT_EQ("a b", Trim(" \t\r\n\x01"
                          "a b\x1F "));
    EXPECT_EQ("", Trim(" \t "));
    // Bytes above 32 stay, also the first byte of a UTF-8 character.
    EXPECT_EQ("\xC2\xA0x\x7F", Trim("\xC2\xA0x\x7F"));
}

TEST(Text, SplitLinesTakesEveryLineEnd) {
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "", "d"}), SplitLines("a\r\nb\rc\n\nd"));
    // A final line end adds no empty line; an empty text has no lines.
    EXPECT_EQ((std::vector<std::string>{"a", ""}), SplitLines("a\n\r\n"));
    EXPECT_TRUE(SplitLines("").empty());
    // CR LF is one end, LF CR two.
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), SplitLines("a\n\rb"));
}

TEST(Text, CaseFoldingIsAsciiOnly) {
    EXPECT_EQ("abc\xC3\x84z[", LowerAscii("AbC\xC3\x84Z["));
    EXPECT_TRUE(EqualsNoCase("Index.HTML", "index.html"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x84", "\xC3\xA4"));
    EXPECT_FALSE(EqualsNoCase("ab", "abc"));
    // "@" and "`" sit beside the letters but are no letters.
    EXPECT_FALSE(EqualsNoCase("@", "`"));
    // Ordered as folded: "Apple" and "apple" neither before the other, "_"
    // (0x5F) before a folded "B" (0x62) though after "B" (0x42), a prefix first.
    EXPECT_FALSE(LessNoCase("Apple", "apple"));
    EXPECT_FALSE(LessNoCase("apple", "Apple"));
    EXPECT_TRUE(LessNoCase("a_", "aB"));
    EXPECT_FALSE(LessNoCase("aB", "a_"));
    EXPECT_TRUE(LessNoCase("ab", "ABC"));
    EXPECT_TRUE(IsAscii("plain text ~\x7F"));
    EXPECT_FALSE(IsAscii("caf\xC3\xA9"));
}

TEST(Text, ParseIntegerTakesTheWholeTextOrNothing) {
    EXPECT_EQ(42, ParseInteger("42"));
    EXPECT_EQ(-7, ParseInteger("-7"));
    EXPECT_EQ(7, ParseInteger("+7"));
    EXPECT_EQ(0x1F, ParseInteger("1f", 16));
    EXPECT_EQ(INT64_MAX, ParseInteger("9223372036854775807"));
    EXPECT_EQ(std::nullopt, ParseInteger("9223372036854775808"));
    for (const char* bad : {"", "+", "-", "++1", "+-1", "1 ", " 1", "1x", "0x10", "1.5"})
        EXPECT_EQ(std::nullopt, ParseInteger(bad)) << '"' << bad << '"';
}

// One reading of numbers for the settings file, --set, the wizard and the
// environment: a leading zero never makes a number octal.
TEST(Text, ParseDecimalOrHexReadsLeadingZerosAsDecimal) {
    EXPECT_EQ(300, ParseDecimalOrHex("0300"));
    EXPECT_EQ(8, ParseDecimalOrHex("08"));
    EXPECT_EQ(0, ParseDecimalOrHex("0"));
    EXPECT_EQ(-12, ParseDecimalOrHex("-012"));
    EXPECT_EQ(0x78387E, ParseDecimalOrHex("0x78387E"));
    EXPECT_EQ(0x1f, ParseDecimalOrHex("0X1f"));
    EXPECT_EQ(-16, ParseDecimalOrHex("-0x10"));
    EXPECT_EQ(16, ParseDecimalOrHex("+0x10"));
    EXPECT_EQ(INT64_MIN, ParseDecimalOrHex("-0x8000000000000000"));
    for (const char* bad : {"", "0x", "0x-1", "0x+1", "0x0x1", "0xg", "0x 1", "--0x1", "0x8000000000000000", "0x1.5",
                            "x10", "1e3", " 08", "0b101"})
        EXPECT_EQ(std::nullopt, ParseDecimalOrHex(bad)) << '"' << bad << '"';
}
